#include "settings_ui/NgRuleEditing.h"

#include "app/Prompter.h"
#include "db/NgRuleRepository.h"

#include <array>

using namespace Qt::StringLiterals;

namespace NgRuleEditing {

QString FieldCaption(NgField field)
{
    static const std::array<QString, 6> captions{u"投稿者"_s, u"メール"_s, u"件名"_s,
                                                 u"本文"_s,   u"ホームページ"_s, u"すべて"_s};
    return captions.at(size_t(field));
}

QString ActionCaption(NgAction action)
{
    return action == NgAction::Abone ? NgAboneText : u"非表示"_s;
}

std::optional<qint64> AddRule(Database &db, const NgRule &rule)
{
    NgRuleRepository rules(db);
    QString error;
    const std::optional<qint64> id = rules.Add(rule, &error);
    if (!id) {
        prompter().critical(u"NGのルールを保存できませんでした。\n"_s + error);
        return std::nullopt;
    }
    const Prompter::Button answer =
        prompter().question(u"NGのルールを追加しました。\n保存してある未読のメッセージのうち、"
                            "このルールに当てはまるものを既読にしますか？"_s,
                            {Prompter::Yes, Prompter::No}, Prompter::Yes);
    if (answer == Prompter::Yes && !rules.MarkUnreadRead(rule))
        prompter().warning(u"未読のメッセージを既読にできませんでした。ルールは保存してあります。\n"_s
                           + rules.LastError().description);
    return id;
}

bool RemoveRule(Database &db, qint64 ID)
{
    NgRuleRepository rules(db);
    const std::optional<bool> removed = rules.Remove(ID);
    if (!removed) {
        prompter().warning(u"NGのルールを削除できませんでした。\n"_s + rules.LastError().description);
        return false;
    }
    return true;
}

} // namespace NgRuleEditing
