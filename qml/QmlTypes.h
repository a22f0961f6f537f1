#pragma once

#include "core/DocumentRecord.h"
#include "ui/AppController.h"
#include "ui/DocumentListModel.h"
#include "ui/LastExport.h"
#include "ui/ReviewListModel.h"
#include "ui/RuleListModel.h"
#include "ui/Summary.h"

#include <QObject>
#include <QtQml/qqml.h>

class QQmlEngine;
class QJSEngine;

// The C++ types the pages use, registered with the QML module so that the engine and qmllint
// know their properties, methods and enumerations.
namespace Tessavo::Ui {

// The controller C++ created, known to QML as the singleton App. Every engine that shows the
// interface is given its controller before it loads anything; C++ keeps the ownership.
struct ControllerSingleton {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::AppController)
    QML_SINGLETON
    QML_NAMED_ELEMENT(App)

public:
    static void provide(QQmlEngine& engine, AppController& controller);
    // Called by the engine on its first use of App; null when the engine was given no controller.
    static AppController* create(QQmlEngine* engine, QJSEngine* scriptEngine);
};

// The document list the controller hands out as App.documents.
struct DocumentListModelForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::DocumentListModel)
    QML_ANONYMOUS
};

// The review list's filter, order and selection over App.documents, made by the Review page.
struct ReviewListModelForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::ReviewListModel)
    QML_NAMED_ELEMENT(ReviewListModel)
};

// The rule list the controller hands out as App.rules.
struct RuleListModelForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::RuleListModel)
    QML_ANONYMOUS
};

// The export flow the controller hands out as App.exporter.
struct ExportFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::ExportFlow)
    QML_ANONYMOUS
};

// The import flow the controller hands out as App.importer.
struct ImportFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::ImportFlow)
    QML_ANONYMOUS
};

// The review flow the controller hands out as App.review.
struct ReviewFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::ReviewFlow)
    QML_ANONYMOUS
};

// The recognition flow the controller hands out as App.recognition.
struct RecognitionFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::RecognitionFlow)
    QML_ANONYMOUS
};

// The stored session the controller hands out as App.session.
struct SessionFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::SessionFlow)
    QML_ANONYMOUS
};

// The page preview the controller hands out as App.preview.
struct PreviewFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::PreviewFlow)
    QML_ANONYMOUS
};

// The check of the package against a portal's upload rules, App.readiness.
struct ReadinessFlowForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Flows::ReadinessFlow)
    QML_ANONYMOUS
};

// The counters of App.summary, a value type.
struct DocumentSummaryForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::DocumentSummary)
    QML_VALUE_TYPE(documentSummary)
};

// The bundle of App.lastExport, a value type.
struct LastExportForeign {
    Q_GADGET
    QML_FOREIGN(Tessavo::Ui::LastExport)
    QML_VALUE_TYPE(lastExport)
};

// A document's state, as DocumentState.NeedsOcr.
namespace DocumentStateForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Tessavo::DocumentStates)
QML_NAMED_ELEMENT(DocumentState)
} // namespace DocumentStateForeign

// A review decision, as Decision.Ignored.
namespace DecisionForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Tessavo::Decisions)
QML_NAMED_ELEMENT(Decision)
} // namespace DecisionForeign

} // namespace Tessavo::Ui
