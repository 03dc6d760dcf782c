#include "db/CMessage.h"

#include "app/mdlApp.h"

using namespace Qt::StringLiterals;

QString CMessage::MakeKey(int bbsId, int id)
{
    const QString board = bbsId >= 0 && bbsId <= 999 ? mdlApp::ZeroPadded(bbsId, 3)
                                                     : QString::number(bbsId) + u':';
    return u'#' + board + mdlApp::ZeroPadded(id, 6);
}

std::optional<CMessage::KeyParts> CMessage::ParseKey(QStringView key)
{
    if (key.size() < 5 || !key.startsWith(u'#'))
        return std::nullopt;
    const qsizetype colon = key.indexOf(u':');
    const qsizetype boardEnd = colon >= 0 ? colon : 4;
    bool boardOk = false;
    bool idOk = false;
    const int board = key.sliced(1, boardEnd - 1).toInt(&boardOk);
    const int id = key.sliced(colon >= 0 ? colon + 1 : 4).toInt(&idOk);
    // Only the canonical spelling counts, so that one pair has exactly one key.
    if (!boardOk || !idOk || MakeKey(board, id) != key)
        return std::nullopt;
    return KeyParts{board, id};
}
