#!/bin/sh
# check_layers_planted.sh SRC: plants one upward include (or one statement in a widget file) at a
# time in a copy of the sources and fails unless check_layers.sh refuses every one of them.
set -eu
src=$1
check=$(dirname "$0")/check_layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

plant() { # plant FILE LINE: the copy with LINE added to FILE must be refused
    rm -rf "$work/src"
    cp -r "$src" "$work/src"
    echo "$2" >>"$work/src/$1"
    if sh "$check" "$work/src" >/dev/null; then
        echo "not refused: $2 in $1"
        exit 1
    fi
    echo "refused: $2 in $1"
}

plant db/Database.cpp '#include <startup/mdlMain.h>'
plant transfer/CBBS.cpp '#include "../startup/mdlMain.h"'
plant controls/uSeparator.cpp '#include "db/Database.h"'
plant query/frmSQL.cpp '#include "settings_ui/frmProperty.h"'
plant app/Planted.hpp '#include "viewer/frmView.h"'
plant models/mdlRead.cpp '#include "viewer/frmView.h"'
plant viewer/frmViewLists.cpp 'static bool planted(Database &db) { return db.Execute(QString()); }'
