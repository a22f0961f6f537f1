#pragma once

#include "core/DocumentRecord.h"
#include "core/LearnedModel.h"
#include "flows/DecisionHistory.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace Tessavo::Flows {

class BundleLearning;
struct BundleLesson;
class DocumentList;
class RuleBook;
class SessionFlow;

// The review: decisions on the listed documents and the commands of the rule book. Every rule
// change classifies every document again; every change is stored with the session.
class ReviewFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(int learnedCount READ learnedCount NOTIFY learnedCountChanged)
    Q_PROPERTY(bool learningFromBundle READ learningFromBundle NOTIFY learningFromBundleChanged)
    Q_PROPERTY(int bundleProgress READ bundleProgress NOTIFY bundleProgressChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY historyChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY historyChanged)

public:
    ReviewFlow(DocumentList& documents, RuleBook& rules, SessionFlow& session,
               QObject* parent = nullptr);
    ~ReviewFlow() override;

    // Review decisions; a row outside the list is ignored. A document reset or ignored after it
    // was accepted or changed no longer teaches its category. A reset goes back to the decision
    // before the current one, or to "Needs review" when there was none. Silent unless something
    // needs explaining; the commands below say what they did.
    Q_INVOKABLE void acceptDocument(int row);
    Q_INVOKABLE void changeDocumentCategory(int row, const QString& category);
    Q_INVOKABLE void ignoreDocument(int row);
    Q_INVOKABLE void resetDecision(int row);
    // Accepts every clear suggestion still pending; conflicts and unsure learned suggestions are
    // left for review.
    Q_INVOKABLE void acceptAllSuggested();

    // The same for any number of documents at once: one step to undo, and the status says what
    // was done (the commands the pages give). Accepting leaves the documents that cannot be
    // accepted (no suggestion, already accepted, ignored) as they are.
    Q_INVOKABLE void acceptDocuments(const QList<int>& rows);
    Q_INVOKABLE void changeDocumentsCategory(const QList<int>& rows, const QString& category);
    Q_INVOKABLE void ignoreDocuments(const QList<int>& rows);
    Q_INVOKABLE void resetDocuments(const QList<int>& rows);
    // "Accept all clear suggestions" for these rows only (those the user has filtered to), and
    // how many it would accept.
    Q_INVOKABLE void acceptClearSuggestions(const QList<int>& rows);
    Q_INVOKABLE int clearSuggestionCount(const QList<int>& rows) const;

    // Undo and redo of decisions, one user action at a time however many documents it decided,
    // and of rules added, edited, switched on or off and removed (a rule comes back where it was,
    // with its id); the stored session and the rules file follow. Forgotten when the list is
    // cleared or restored.
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();

    // Every accepted or changed document teaches its category; where no rule matches, what was
    // taught suggests. Kept with the session until forgotten.
    int learnedCount() const;
    Q_INVOKABLE void forgetLearned();
    // Learns the documents of past bundles as filed there (for this run only when not kept).
    void learnFromBundles(const QList<LearnedExample>& examples, bool keep);
    // Learns from one past bundle, its folder or its ZIP, in the background; what it taught is
    // kept with the session. The status says how it went.
    Q_INVOKABLE void learnFromBundle(const QUrl& bundle);
    bool learningFromBundle() const { return m_learningFromBundle; }
    // Percentage done of the bundle being read; 0 when none is.
    int bundleProgress() const { return m_bundleProgress; }

    // A rule for the rule dialog, as a map with the keys of the rules file ("name", "category",
    // "fileContains", "textAnyOf", ..., "wholeWords", "priority", "id"), term lists as lists of
    // strings. The proposal of "Make a rule…" for a document filed under another category
    // (empty for a row outside the list), and a rule of the list as it stands (for editing).
    Q_INVOKABLE QVariantMap proposeRuleFor(int row) const;
    Q_INVOKABLE QVariantMap ruleDraft(int ruleRow) const;
    // What saving such a rule would do: "matched" (documents its conditions hold for),
    // "changed" (suggestions that would differ), "decided" (of those, documents accepted or
    // changed, which keep their category) and "changes", the first few as maps with
    // "fileName", "before" and "after".
    Q_INVOKABLE QVariantMap previewRuleDraft(const QVariantMap& draft) const;
    // Adds the rule, or with an "id" puts it in place of that rule; false when refused (the
    // status says why).
    Q_INVOKABLE bool saveRuleDraft(const QVariantMap& draft);

    // Rule commands; every change is saved to the rule book's store.
    Q_INVOKABLE void addRule(const QString& name, const QString& category,
                             const QString& fileContains, const QString& textContains, int minPages,
                             int maxPages, int priority);
    Q_INVOKABLE void removeRule(int row);
    Q_INVOKABLE void setRuleEnabled(int row, bool enabled);
    Q_INVOKABLE void saveRules(const QUrl& fileUrl);
    // Replaces the rules by those of the file.
    Q_INVOKABLE void loadRules(const QUrl& fileUrl);
    // Adds the rules of the file after the current ones; rules already in the list are skipped.
    Q_INVOKABLE void addRulesFrom(const QUrl& fileUrl);

signals:
    // A text for the footer's status line.
    void status(const QString& text);
    void learnedCountChanged();
    void learningFromBundleChanged();
    void bundleProgressChanged();
    void historyChanged();

private:
    // Lets change(row, record, wentBack) decide each of the rows; what changed is announced,
    // stored, taught or forgotten, and kept as one step to undo unless it replays one. Returns
    // how many documents changed.
    using Change = std::function<bool(int, DocumentRecord&, bool&)>;
    int decideEach(const QList<int>& rows, const Change& change, bool keepStep = true);
    // The decisions themselves, without a word on success; each returns how many changed.
    int acceptOne(int row);
    int changeEach(const QList<int>& rows, const QString& category);
    int ignoreEach(const QList<int>& rows);
    int resetEach(const QList<int>& rows);
    // Puts the rows back as a step of the history left them.
    // Undoes or redoes a step taken from the history.
    void takeStep(DecisionStep* step, bool undoing);
    int replay(const DecisionStep& step, bool undoing);
    // Puts a rule back as it was (or as it became); false when its rule is no longer listed.
    bool replayRule(const RuleChange& change, bool undoing);
    void keepRuleChange(const RuleChange& change);
    int ruleRowOf(const QString& id) const;
    int lastRuleRow() const;
    void forgetHistory();
    void learnFrom(const QList<int>& rows);
    // What a document that no longer counts as filed taught is forgotten, unless another listed
    // document of the same content still teaches it.
    void unlearn(const DocumentRecord& before);
    void onBundleLearned(const QList<Tessavo::Flows::BundleLesson>& lessons);
    void setLearningFromBundle(bool learning);
    void reclassifyAll();
    // After a lesson: only a document no enabled rule matches can take a learned suggestion.
    void reclassifyUnmatched();
    // Classifies again once the current event is done, however many lessons it brought.
    void reclassifySoon();

    DocumentList& m_documents;
    RuleBook& m_rules;
    SessionFlow& m_session;
    DecisionHistory m_history;
    bool m_reclassifyPosted = false;
    std::unique_ptr<BundleLearning> m_bundleLearning; // made when first asked for
    bool m_learningFromBundle = false;
    int m_bundleProgress = 0;
};

} // namespace Tessavo::Flows
