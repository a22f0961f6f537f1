#pragma once

#include "core/LearnedModel.h"
#include "core/Rule.h"
#include "core/RulePreview.h"
#include "flows/RuleList.h"
#include "store/RulesStore.h"

#include <QObject>
#include <QUrl>

#include <optional>

namespace Tessavo::Flows {

// The rule list the documents are classified with, and its commands. Every change is saved to the
// rules store at once; a change that could not be saved says so in the status and the log.
class RuleBook : public QObject {
    Q_OBJECT

public:
    // Starts with the store's rules, or the built-in ones when it has none.
    explicit RuleBook(const Store::RulesStore& store, QObject* parent = nullptr);
    // These rules for this book's life only; nothing is read or saved.
    explicit RuleBook(const QList<Rule>& fixedRules, QObject* parent = nullptr);

    // The rules as a list model, for the rule list the pages show.
    RuleList* list() { return &m_list; }
    const QList<Rule>& rules() const { return m_list.ruleList(); }
    // What the documents the user filed taught; it suggests where no enabled rule matches.
    const LearnedModel& learned() const { return m_learned; }
    // The suggestion for a document: the rules', else the learned one.
    Suggestion suggest(const DocumentRecord& record) const
    {
        return suggestFor(rules(), m_learned, record);
    }
    // Learns these examples (replacing earlier ones of the same documents), or forgets every
    // example; each emits learnedChanged() when something changed.
    void learn(const QList<LearnedExample>& examples);
    void forgetLearned();
    // Forgets the examples filed under these keys; emits learnedChanged() when one was known.
    void forget(const QStringList& keys);

    // Why the stored rules could not be used when the book started; empty when they could.
    QString startupProblem() const { return m_startupProblem; }

    // Each command below returns whether it changed the list (and so emitted changed()).

    // Adds a rule made of these fields (trimmed, pages below 1 meaning no limit, priority clamped
    // to 1..1000); refused with a status when it has no name, category or condition, when a text
    // is too long to be kept, or when the list is full.
    bool add(const QString& name, const QString& category, const QString& fileContains,
             const QString& textContains, int minPages, int maxPages, int priority);
    // The same for a rule with any of the conditions; its id is ignored and a fresh one given.
    // Texts and terms are trimmed and blank terms dropped first (tidied()).
    bool add(const Rule& draft);
    // Puts the rule in place of the one with the same id, keeping its place in the list and
    // whether it is on; refused like add(), and when no rule has that id.
    bool replace(const Rule& draft);
    // What saving the rule (a new one, or the new form of the rule with its id) would change:
    // the documents its conditions hold for, and the suggestions that would differ, the learned
    // ones included.
    RulePreview preview(const Rule& draft, const QList<DocumentRecord>& records) const;
    // Puts a rule back as it was, with its id and whether it is on, at a row (one past the list
    // puts it last): the undo of a removal. Refused like add(), and when its id is listed or the
    // row is outside 0..size; the caller says what was done.
    bool insert(int row, const Rule& rule);
    // A row outside the list removes nothing, but counts as a change all the same.
    bool remove(int row);
    bool setEnabled(int row, bool enabled);
    // What an imported rules file does to the list.
    enum class ImportMode {
        Replace, // the file's rules take the place of every rule
        Add,     // the file's rules follow the list's; rules already in it are skipped
    };
    // Takes the rules of a file; a file without valid rules changes nothing. Adding keeps the
    // list within its limit: rules past it are refused and counted in the status.
    bool importFrom(const QString& path, ImportMode mode = ImportMode::Replace);
    // Writes the list to a file of the user's choice.
    void exportTo(const QString& path);

    // The rule as it would be kept: texts and terms trimmed, blank terms dropped, page limits
    // below 1 meaning none, the priority within 1..1000.
    static Rule tidied(Rule rule);

signals:
    // The list changed; emitted before it is saved and before the command's status.
    void changed();
    // What was learned changed: suggestions may change where no rule matches.
    void learnedChanged();
    // A text for the footer's status line.
    void status(const QString& text);

private:
    // Why the rule cannot be kept, as a status text; empty when it can.
    QString refusal(const Rule& rule) const;
    // Whether the rule may join the list (it is valid and the list has room); the status says
    // why not.
    bool admits(const Rule& rule);
    void commit(const QString& doneText);
    // The file's rules after the list's, without those already in it; ids stay unique.
    struct Merged {
        QList<Rule> rules;
        int added = 0;
        int alreadyPresent = 0;
        int refused = 0; // past the list's limit
    };
    Merged merged(const QList<Rule>& imported) const;

    RuleList m_list{this};
    LearnedModel m_learned;
    std::optional<Store::RulesStore> m_store; // none for fixed rules
    QString m_startupProblem;
};

} // namespace Tessavo::Flows
