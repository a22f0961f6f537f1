#pragma once

#include "core/Rule.h"
#include "core/RulesFile.h"

#include <QList>
#include <QString>

namespace Tessavo::Store {

// The file the rules persist in between runs (rules.json), written atomically. A file that existed
// but gave no usable rules when it was loaded is kept as "<file>.bak" before the first save
// replaces it, so a hand-edited file with one typo is never lost.
class RulesStore {
public:
    // An empty path reads nothing and saves nothing.
    explicit RulesStore(const QString& path = QString());

    QString path() const { return m_path; }
    bool keepsRules() const { return !m_path.isEmpty(); }

    struct Loaded {
        QList<Rule> rules;   // the built-in rules when the file gave none
        bool builtIn = true; // the file gave no rules (missing, unreadable or empty)
        QString problem;     // why an existing file could not be used; empty otherwise
    };
    // The rules of the file, within the limits; never writes. Logs what it found.
    Loaded load();

    // Replaces the file by these rules. False when it could not; errorString() says why and the
    // file is left as it was.
    [[nodiscard]] bool save(const QList<Rule>& rules);
    QString errorString() const { return m_error; }

private:
    [[nodiscard]] bool keepUnusableFile();

    QString m_path;
    bool m_unusable = false; // the file existed when loaded but gave no rules
    QString m_error;
};

// One warning for each kind of rule the limits kept out of a rules file.
void logRefusedRules(const RulesReading& reading, const QString& fileName);

} // namespace Tessavo::Store
