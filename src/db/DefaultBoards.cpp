#include "db/mdlDatabase.h"

using namespace Qt::StringLiterals;

namespace mdlDatabase {

namespace {

const QString BoardHost = u"http://bbs.example.jp"_s;
const QString Board3Host = u"http://bbs2.example.jp"_s;
const QString PairScript = u"/cgi-bin/sayu.cgi"_s;

DefaultBoard board(int id, const char16_t *name, const char16_t *shortName, const QString &url,
                   int maxCount, int type, int listOrder, const char16_t *logFile,
                   const char16_t *identifier)
{
    const QString rules = id == 14 ? BoardHost + u"/howtouse_sayu.html"_s : SharedHowtouseURL();
    return {id, QString::fromUtf16(name), QString::fromUtf16(shortName), url, rules, maxCount,
            type, true, listOrder, QString::fromUtf16(logFile), QString::fromUtf16(identifier)};
}

QString script(const char16_t *name)
{
    return BoardHost + u"/cgi-bin/"_s + QString::fromUtf16(name) + u".cgi"_s;
}

} // namespace

const QList<DefaultBoard> &DefaultBoards()
{
    static const QList<DefaultBoard> boards{
        board(3, u"なんでも掲示板", u"なんでも", DefaultBoard3URL(), 400, 3, 0, u"nandemo*", u"nandemo"),
        board(4, u"雑談掲示板", u"雑談", script(u"zatsudan"), 400, 0, 2, u"zatsudan*", u"zatsudan"),
        board(5, u"質問掲示板", u"質問", script(u"shitsumon"), 400, 0, 3, u"shitsumon*", u"shitsumon"),
        board(6, u"情報交換掲示板", u"情報交換", script(u"joho"), 400, 0, 4, u"", u"joho"),
        board(7, u"ニュース掲示板", u"ニュース", script(u"news"), 400, 0, 5, u"", u"news"),
        board(8, u"趣味の掲示板", u"趣味", script(u"shumi"), 400, 0, 6, u"shumi*", u"shumi"),
        board(9, u"音楽掲示板", u"音楽", script(u"ongaku"), 400, 0, 8, u"", u"ongaku"),
        board(10, u"映画掲示板", u"映画", script(u"eiga"), 400, 0, 9, u"", u"eiga"),
        board(11, u"ゲーム掲示板", u"ゲーム", script(u"game"), 400, 0, 10, u"", u"game"),
        board(12, u"料理掲示板", u"料理", script(u"ryori"), 200, 0, 11, u"", u"ryori"),
        board(13, u"左右掲示板(左)", u"左", BoardHost + PairScript, 200, 1, 12, u"", u"hidari"),
        board(14, u"左右掲示板(右)", u"右", BoardHost + PairScript, 200, 2, 13, u"", u"migi"),
        board(15, u"スポーツ掲示板", u"スポーツ", script(u"sports"), 200, 0, 14, u"", u"sports"),
        board(16, u"お知らせ掲示板", u"お知らせ", script(u"oshirase"), 100, 0, 1, u"", u"oshirase"),
        board(17, u"テスト掲示板", u"テスト", script(u"test"), 100, 0, 15, u"", u"test"),
        board(18, u"管理人への連絡", u"連絡", script(u"renraku"), 100, 0, 17, u"", u"renraku"),
    };
    return boards;
}

QString DefaultBoard3URL()
{
    return Board3Host + u"/cgi-bin/nandemo.cgi"_s;
}

QString BoardSiteURL()
{
    return BoardHost + u"/"_s;
}

QString SharedHowtouseURL()
{
    return BoardHost + u"/howtouse.html"_s;
}

} // namespace mdlDatabase
