#include "LogGenerator.h"

#include <QIODevice>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

constexpr int SecondsApart = 600;
constexpr int BatchMessages = 1000;
constexpr int ReplyReach = 30;

/**
 * SplitMix64: one cheap generator per message and purpose, so a message needs no state from
 * the messages before it (seeding a Mersenne Twister per message would cost more than the text).
 */
class Random
{
public:
    Random(quint32 seed, int number, int purpose)
        : m_state((quint64(seed) << 32) ^ quint64(number) ^ (quint64(purpose) << 56))
    {
    }

    int below(qsizetype bound)
    {
        return int(next() % quint64(bound));
    }

    bool chance(int percent)
    {
        return below(100) < percent;
    }

    const QString &pick(const QStringList &list)
    {
        return list.at(below(list.size()));
    }

private:
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    quint64 m_state;
};

enum Purpose { Header = 1, Subject = 2, Lines = 3 };

const QStringList Names = {
    u"山田太郎"_s, u"佐藤花子"_s, u"鈴木一郎"_s, u"たなか"_s, u"ゆうこ"_s, u"伊藤みどり"_s,
    u"小林健"_s, u"kazu"_s, u"中村さくら"_s, u"ぽち"_s, u"高橋"_s, u"渡辺まさき"_s,
    u"名無しさん"_s, u"Mike"_s};
const QStringList MailIds = {u"taro"_s, u"hanako"_s, u"ichiro"_s, u"tanaka"_s, u"yuko"_s,
                             u"midori"_s, u"ken"_s, u"kazu"_s, u"sakura"_s, u"pochi"_s,
                             u"takahashi"_s, u"masaki"_s, u"nanashi"_s, u"mike"_s};
const QStringList Domains = {u"example.jp"_s, u"example.ne.jp"_s, u"example.com"_s,
                             u"mail.example.org"_s};
const QStringList Prefixes = {QString(), QString(), QString(), u"【報告】"_s, u"【質問】"_s,
                              u"【お知らせ】"_s};
const QStringList Subjects = {
    u"はじめまして"_s, u"質問があります"_s, u"今日の練習について"_s, u"例会のお知らせ"_s,
    u"写真を載せました"_s, u"新しいパソコンを買いました"_s, u"雨の日の過ごし方"_s,
    u"おすすめの本"_s, u"旅行の報告"_s, u"電車の遅れ"_s, u"夏休みの計画"_s,
    u"料理のレシピ"_s, u"猫が来ました"_s, u"ソフトの不具合"_s, u"次回の集まり"_s,
    u"久しぶりです"_s, u"引っ越しました"_s, u"お礼"_s, u"感想です"_s, u"教えてください"_s,
    u"会場の地図"_s, u"ＣＤの貸し借り"_s, u"花見の場所取り"_s, u"Windowsの設定"_s};
const QStringList Sentences = {
    u"こんにちは。"_s, u"昨日は雨でしたね。"_s, u"駅前の喫茶店に行ってきました。"_s,
    u"写真はあとで載せます。"_s, u"皆さんはどう思いますか？"_s, u"よろしくお願いします。"_s,
    u"また来週お会いしましょう。"_s, u"詳しいことは分かりません。"_s,
    u"ありがとうございました！"_s, u"私も同じ意見です。"_s, u"それは知りませんでした。"_s,
    u"今度試してみます。"_s, u"時間があれば参加します。"_s, u"資料を送りました。"_s,
    u"明日は晴れるそうです。"_s, u"新しい版が出ています。"_s, u"少し長くなりますが書きます。"_s,
    u"なるほど、そういうことですか。"_s, u"返事が遅くなってすみません。"_s, u"では、また。"_s,
    u"集合は午前十時、北口の改札前です。"_s, u"雨天の場合は中止です…たぶん。"_s,
    u"「急がば回れ」と言いますし。"_s, u"ＯＳを入れ直したら直りました。"_s,
    u"費用は一人三千円くらいになりそうです。"_s, u"去年の記録と比べると二割ほど多いですね。"_s,
    u"ところで、この前の件はどうなりました？"_s, u"ＵＲＬを間違えていました、すみません。"_s};

} // namespace

LogGenerator::LogGenerator(quint32 seed)
    : m_seed(seed)
    , m_start(QDate(2015, 1, 1), QTime(0, 0), Qt::UTC)
{
}

QStringList LogGenerator::ownLines(int number) const
{
    Random random(m_seed, number, Lines);
    const int count = 1 + random.below(6);
    QStringList lines;
    for (int line = 0; line < count; ++line) {
        if (line > 0 && random.chance(15))
            lines << QString();
        QString text;
        for (int sentences = 1 + random.below(3); sentences > 0; --sentences)
            text += random.pick(Sentences);
        lines << text;
    }
    if (random.chance(8))
        lines << u"http://www.example.jp/note/%1.html"_s.arg(number);
    return lines;
}

BoardMessage LogGenerator::message(int number) const
{
    Random random(m_seed, number, Header);
    BoardMessage message;
    message.number = number;
    const int author = random.below(Names.size());
    message.name = Names.at(author);
    if (random.chance(30))
        message.mail = MailIds.at(author) + u'@' + random.pick(Domains);
    if (random.chance(20))
        message.homePage = u"http://www.example.jp/~"_s + MailIds.at(author) + u'/';
    message.date = m_start.addSecs(qint64(number) * SecondsApart + random.below(SecondsApart));
    if (number > 1 && random.chance(40))
        message.replyTo = number - 1 - random.below(qMin(number - 1, ReplyReach));

    const auto subjectOf = [this](int n) {
        Random pick(m_seed, n, Subject);
        const QString prefix = pick.pick(Prefixes);
        return prefix + pick.pick(Subjects);
    };
    QStringList body;
    if (message.replyTo > 0) {
        message.subject = u"Re: "_s + subjectOf(message.replyTo);
        const QStringList quoted = ownLines(message.replyTo);
        body << u"> "_s + quoted.first();
        if (quoted.size() > 1 && random.chance(50))
            body << u"> "_s + quoted.at(1);
        if (random.chance(30))
            body << u">>%1 さん"_s.arg(message.replyTo);
        body << QString();
    } else {
        message.subject = subjectOf(number);
    }
    body << ownLines(number);
    message.body = body.join(u"\r\n"_s);
    return message;
}

QList<BoardMessage> LogGenerator::messages(int first, int count) const
{
    QList<BoardMessage> list;
    list.reserve(qMax(0, count));
    for (int number = first + count - 1; number >= first; --number)
        list << message(number);
    return list;
}

QString LogGenerator::text(int type, int first, int count) const
{
    return LogFormat::log(type, messages(first, count));
}

QByteArray LogGenerator::cp932(int type, int first, int count) const
{
    return LogFormat::toCp932(text(type, first, count));
}

bool LogGenerator::write(QIODevice &out, int type, int first, int count) const
{
    for (int last = first + count - 1; last >= first; last -= BatchMessages) {
        const int batch = qMin(BatchMessages, last - first + 1);
        const QByteArray bytes = cp932(type, last - batch + 1, batch);
        if (out.write(bytes) != bytes.size())
            return false;
    }
    return true;
}
