#pragma once

#include "core/DocumentRecord.h"
#include "core/LearnedModel.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace Tessavo::Flows {

class DocumentList;
class RuleBook;
class SessionFlow;

// The review: decisions on the listed documents and the commands of the rule book. Every rule
// change classifies every document again; every change is stored with the session.
class ReviewFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(int learnedCount READ learnedCount NOTIFY learnedCountChanged)

public:
    ReviewFlow(DocumentList& documents, RuleBook& rules, SessionFlow& session,
               QObject* parent = nullptr);

    // Review decisions; a row outside the list is ignored.
    Q_INVOKABLE void acceptDocument(int row);
    Q_INVOKABLE void changeDocumentCategory(int row, const QString& category);
    Q_INVOKABLE void ignoreDocument(int row);
    Q_INVOKABLE void resetDecision(int row);
    // Accepts every clear suggestion still pending; conflicts and unsure learned suggestions are
    // left for review.
    Q_INVOKABLE void acceptAllSuggested();

    // Every accepted or changed document teaches its category; where no rule matches, what was
    // taught suggests. Kept with the session until forgotten.
    int learnedCount() const;
    Q_INVOKABLE void forgetLearned();
    // Learns the documents of past bundles as filed there (for this run only when not kept).
    void learnFromBundles(const QList<LearnedExample>& examples, bool keep);

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

private:
    void decide(int row, const std::function<bool(DocumentRecord&)>& change);
    void learnFrom(const QList<int>& rows);
    void reclassifyAll();
    // Classifies again once the current event is done, however many lessons it brought.
    void reclassifySoon();

    DocumentList& m_documents;
    RuleBook& m_rules;
    SessionFlow& m_session;
    bool m_reclassifyPosted = false;
};

} // namespace Tessavo::Flows
