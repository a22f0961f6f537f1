#include "flows/RuleBook.h"

#include "logging/LogPath.h"

#include <QSaveFile>

#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace Tessavo::Flows {

RuleBook::RuleBook(const Store::RulesStore& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
    const Store::RulesStore::Loaded loaded = m_store->load();
    m_list.setRules(loaded.rules);
    m_startupProblem = loaded.problem;
}

RuleBook::RuleBook(const QList<Rule>& fixedRules, QObject* parent)
    : QObject(parent)
{
    m_list.setRules(fixedRules);
}

bool RuleBook::add(const QString& name, const QString& category, const QString& fileContains,
                   const QString& textContains, int minPages, int maxPages, int priority)
{
    Rule rule;
    rule.name = name;
    rule.category = category;
    rule.fileContains = fileContains;
    rule.textContains = textContains;
    rule.minPages = minPages;
    rule.maxPages = maxPages;
    rule.priority = priority;
    return add(rule);
}

Rule RuleBook::tidied(Rule rule)
{
    const auto terms = [](const QStringList& list) {
        QStringList kept;
        for (const QString& term : list) {
            const QString trimmed = term.trimmed();
            if (!trimmed.isEmpty())
                kept.append(trimmed);
        }
        return kept;
    };
    rule.name = rule.name.trimmed();
    rule.category = rule.category.trimmed();
    rule.fileContains = rule.fileContains.trimmed();
    rule.textContains = rule.textContains.trimmed();
    rule.titleContains = rule.titleContains.trimmed();
    rule.textAnyOf = terms(rule.textAnyOf);
    rule.textAllOf = terms(rule.textAllOf);
    rule.textNoneOf = terms(rule.textNoneOf);
    rule.fileAnyOf = terms(rule.fileAnyOf);
    rule.fileNoneOf = terms(rule.fileNoneOf);
    rule.minPages = rule.minPages < 1 ? 0 : rule.minPages;
    rule.maxPages = rule.maxPages < 1 ? 0 : rule.maxPages;
    rule.minBytes = rule.minBytes < 1 ? 0 : rule.minBytes;
    rule.maxBytes = rule.maxBytes < 1 ? 0 : rule.maxBytes;
    rule.priority = std::clamp(rule.priority, 1, 1000);
    return rule;
}

QString RuleBook::refusal(const Rule& rule) const
{
    if (!isValid(rule))
        return QStringLiteral("A rule needs a name, a category and at least one condition.");
    // Refused now rather than dropped from the saved file at the next start.
    if (!withinTextLimit(rule))
        return QStringLiteral("Rule not added: its texts may have at most %1 characters.")
            .arg(maxRuleTextChars);
    return {};
}

bool RuleBook::admits(const Rule& rule)
{
    if (const QString problem = refusal(rule); !problem.isEmpty()) {
        emit status(problem);
        return false;
    }
    if (rules().size() >= maxRuleCount) {
        emit status(QStringLiteral("Rule not added: the list already holds %1 rules, the most it "
                                   "can keep. Remove a rule first.")
                        .arg(maxRuleCount));
        qWarning().noquote() << QStringLiteral("Refused a new rule: the list holds %1 rules")
                                    .arg(QString::number(rules().size()));
        return false;
    }
    return true;
}

bool RuleBook::add(const Rule& draft)
{
    Rule rule = tidied(draft);
    rule.id = newRuleId();
    if (!admits(rule))
        return false;
    m_list.appendRule(rule);
    commit(QStringLiteral("Rule \"%1\" added.").arg(rule.name));
    return true;
}

bool RuleBook::insert(int row, const Rule& rule)
{
    const Rule kept = tidied(rule);
    if (kept.id.isEmpty() || indexOfRule(rules(), kept.id) >= 0 || row < 0 ||
        row > rules().size() || !admits(kept))
        return false;
    m_list.insertRule(row, kept);
    commit(QString());
    return true;
}

bool RuleBook::replace(const Rule& draft)
{
    const Rule rule = tidied(draft);
    const qsizetype at = indexOfRule(rules(), rule.id);
    if (at < 0) {
        emit status(QStringLiteral("Rule not changed: it is no longer in the list."));
        return false;
    }
    QString problem = refusal(rule);
    if (!problem.isEmpty()) {
        emit status(
            problem.replace(QStringLiteral("Rule not added"), QStringLiteral("Rule not changed")));
        return false;
    }
    const bool enabled = rules().at(at).enabled;
    m_list.update(int(at), [&rule, enabled](Rule& kept) {
        kept = rule;
        kept.enabled = enabled;
        return true;
    });
    commit(QStringLiteral("Rule \"%1\" changed.").arg(rule.name));
    return true;
}

RulePreview RuleBook::preview(const Rule& draft, const QList<DocumentRecord>& records) const
{
    return previewRule(rules(), m_learned, tidied(draft), records);
}

bool RuleBook::remove(int row)
{
    // The status names the rule that went, never an earlier rule that may be gone too.
    const QList<Rule>& listed = rules();
    const QString name = row >= 0 && row < listed.size() ? listed.at(row).name : QString();
    m_list.removeRule(row); // a row outside the list removes nothing; the list is saved anyway
    commit(name.isEmpty() ? QString() : QStringLiteral("Rule \"%1\" removed.").arg(name));
    return true;
}

bool RuleBook::setEnabled(int row, bool enabled)
{
    const bool found = m_list.update(row, [enabled](Rule& rule) {
        rule.enabled = enabled;
        return true;
    });
    if (!found)
        return false;
    commit(QString());
    return true;
}

bool RuleBook::importFrom(const QString& path, ImportMode mode)
{
    const QString name = Logging::pathForLog(path);
    const RulesFileBytes file = readRulesFileBytes(path);
    if (!file.ok) {
        emit status(QStringLiteral("Cannot read the rules file."));
        qWarning().noquote()
            << QStringLiteral("Cannot read the rules file %1: %2").arg(name, file.error);
        return false;
    }
    const RulesReading reading = readRulesWithinLimits(file.bytes);
    Store::logRefusedRules(reading, name);
    const QList<Rule>& loaded = reading.rules;
    if (loaded.isEmpty()) {
        emit status(QStringLiteral("The rules file contains no valid rules."));
        qWarning().noquote()
            << QStringLiteral("The rules file %1 contains no valid rules").arg(name);
        return false;
    }
    const int refusedInFile = reading.refusedTooLong + reading.refusedTooMany;
    if (mode == ImportMode::Replace) {
        m_list.setRules(loaded);
        commit(refusedInFile > 0
                   ? QStringLiteral("Loaded %1 rule(s); refused %2 that exceed the limits.")
                         .arg(QString::number(loaded.size()), QString::number(refusedInFile))
                   : QStringLiteral("Loaded %1 rule(s).").arg(loaded.size()));
        qInfo().noquote() << QStringLiteral("Loaded %1 rule(s) from %2")
                                 .arg(QString::number(loaded.size()), name);
        return true;
    }

    const Merged merge = merged(loaded);
    const int refused = refusedInFile + merge.refused;
    QString text = QStringLiteral("Added %1 rule(s)").arg(merge.added);
    if (merge.alreadyPresent > 0)
        text += QStringLiteral("; %1 already in the list").arg(merge.alreadyPresent);
    if (refused > 0)
        text += QStringLiteral("; refused %1 that exceed the limits").arg(refused);
    text += u'.';
    qInfo().noquote() << QStringLiteral("Added %1 rule(s) from %2 (%3 already in the list, %4 "
                                        "refused)")
                             .arg(QString::number(merge.added), name,
                                  QString::number(merge.alreadyPresent), QString::number(refused));
    if (merge.refused > 0)
        qWarning().noquote() << QStringLiteral(
                                    "Refused %1 rule(s) of %2: the list holds at most %3")
                                    .arg(QString::number(merge.refused), name,
                                         QString::number(maxRuleCount));
    if (merge.added == 0) {
        emit status(text);
        return false;
    }
    m_list.setRules(merge.rules);
    commit(text);
    return true;
}

RuleBook::Merged RuleBook::merged(const QList<Rule>& imported) const
{
    // Two rules are the same when they differ at most in their id and whether they are on.
    // Their form in a rules file says so, whatever fields a rule has.
    const auto key = [](Rule rule) {
        rule.id = QStringLiteral("-"); // an empty id would be written as a fresh one
        rule.enabled = true;
        return QJsonDocument(rulesToJson({rule})).toJson(QJsonDocument::Compact);
    };
    Merged merge;
    merge.rules = rules();
    QSet<QString> ids;
    QSet<QByteArray> present;
    for (const Rule& rule : merge.rules) {
        ids.insert(rule.id);
        present.insert(key(rule));
    }
    for (Rule rule : imported) {
        const QByteArray ruleKey = key(rule);
        if (present.contains(ruleKey)) {
            ++merge.alreadyPresent;
            continue;
        }
        if (merge.rules.size() >= maxRuleCount) {
            ++merge.refused;
            continue;
        }
        while (ids.contains(rule.id))
            rule.id = newRuleId();
        ids.insert(rule.id);
        present.insert(ruleKey);
        merge.rules.append(rule);
        ++merge.added;
    }
    return merge;
}

void RuleBook::exportTo(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString name = Logging::pathForLog(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        emit status(QStringLiteral("Cannot write rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot write rules to %1: %2").arg(name, file.errorString());
        return;
    }
    file.write(rulesDocument(rules()));
    if (!file.commit()) {
        emit status(QStringLiteral("Cannot save rules: %1").arg(file.errorString()));
        qWarning().noquote()
            << QStringLiteral("Cannot save rules to %1: %2").arg(name, file.errorString());
        return;
    }
    emit status(QStringLiteral("Rules exported to %1").arg(path));
    qInfo().noquote() << QStringLiteral("Rules exported to %1").arg(name);
}

// Classifies again with the changed list, then saves it; a failed save outranks the done text.
void RuleBook::commit(const QString& doneText)
{
    emit changed();
    if (m_store && !m_store->save(rules())) {
        const QString reason = m_store->errorString();
        emit status(
            QStringLiteral("The rules were changed but could not be saved: %1").arg(reason));
        qWarning().noquote() << QStringLiteral("Cannot save the rules to %1: %2")
                                    .arg(Logging::pathForLog(m_store->path()), reason);
        return;
    }
    if (!doneText.isEmpty())
        emit status(doneText);
}

void RuleBook::learn(const QList<LearnedExample>& examples)
{
    const qsizetype before = m_learned.size();
    const QList<LearnedExample> earlier = m_learned.examples();
    for (const LearnedExample& example : examples)
        m_learned.add(example);
    if (m_learned.size() != before || m_learned.examples() != earlier)
        emit learnedChanged();
}

void RuleBook::forget(const QStringList& keys)
{
    const qsizetype before = m_learned.size();
    for (const QString& key : keys)
        m_learned.forget(key);
    if (m_learned.size() != before)
        emit learnedChanged();
}

void RuleBook::forgetLearned()
{
    if (m_learned.isEmpty())
        return;
    m_learned.clear();
    emit learnedChanged();
}

} // namespace Tessavo::Flows
