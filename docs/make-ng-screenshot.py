"""docs/make-ng-screenshot.py [BUILD]: makes docs/ngtab.png, the options dialog's tab "NG".

A demo program folder gets 120 generated messages on board 4 and four NG rules through
tessera-cli; the window starts on it under Xvfb (/work/shared/tools/desktop_driver.py), the
options open with Alt+T, O, Ctrl+Shift+Tab shows the last tab, a rule is selected and the dialog
is captured. Run with /usr/bin/python3 (the driver needs pyatspi). BUILD defaults to build/.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, "/work/shared/tools")
from desktop_driver import Desktop

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")
home = tempfile.mkdtemp(prefix="ngdemo.")
cli = [os.path.join(build, "src/tessera-cli"), "--home", home, "--yes"]
try:
    subprocess.run([os.path.join(build, "bench/gen-log"), "--type", "0", "--count", "120",
                    "--out", os.path.join(home, "z.log")], check=True)
    subprocess.run(cli + ["import", "4", os.path.join(home, "z.log")], check=True)
    for rule in (["any", "宣伝"], ["--regexp", "--abone", "poster", "^荒らし$"],
                 ["--board", "4", "body", "http://spam.example"], ["--regexp", "subject", "(?i)^re: *re: *re:"]):
        subprocess.run(cli + ["ng", "add"] + rule, check=True)
    subprocess.run(["sed", "-i", "s/^BBS_ID=.*/BBS_ID=4/", os.path.join(home, "tessera.ini")], check=True)
    with Desktop(home, size="1024x700") as s:
        s.start([os.path.join(build, "src/tessera")], app_name="tessera")
        main = s.wait_window(lambda t: "Tessera Ver" in t)
        s.focus(main[0])
        time.sleep(1)
        s.key("alt+t", "o")
        dialog = s.wait_window(lambda t: t.startswith("設定"))
        s.key("ctrl+shift+Tab")
        s.click(s.find(role="table cell", name="^荒らし$")[0])
        s.shot(os.path.join(root, "docs/ngtab.png"), dialog[0])
finally:
    shutil.rmtree(home, ignore_errors=True)
