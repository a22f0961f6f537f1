import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

ApplicationWindow {
    id: window

    property int currentPage: 0
    // Set once the user chose to quit while work was running: the next close goes through.
    property bool quitConfirmed: false

    // What stops when the window closes now; empty when nothing runs.
    function closeQuestion() {
        if (App.exporter.exporting)
            return qsTr("An export is running. Quit anyway? The export is cancelled and nothing of it is kept.")
        if (App.importer.running)
            return qsTr("An import is running. Quit anyway? The files not inspected yet are kept, and the next start offers to continue.")
        if (App.recognition.running)
            return qsTr("Text recognition is running. Quit anyway? It stops; the scans can be recognised later.")
        return ""
    }

    objectName: "mainWindow"
    width: 1180
    height: 800
    minimumWidth: 980
    minimumHeight: 660
    visible: true
    title: qsTr("Tessavo")
    color: Theme.bg

    Shortcut {
        sequence: "Ctrl+1"
        onActivated: window.currentPage = 0
    }
    Shortcut {
        sequence: "Ctrl+2"
        onActivated: window.currentPage = 1
    }
    Shortcut {
        sequence: "Ctrl+3"
        onActivated: window.currentPage = 2
    }
    Shortcut {
        sequence: "Ctrl+4"
        onActivated: window.currentPage = 3
    }
    Shortcut {
        sequence: "Ctrl+O"
        onActivated: {
            window.currentPage = 0
            importPage.addPdfs()
        }
    }
    Shortcut {
        sequence: "Ctrl+Shift+O"
        onActivated: {
            window.currentPage = 0
            importPage.addFolder()
        }
    }
    Shortcut {
        sequence: "Ctrl+E"
        onActivated: {
            if (exportPage.canExport) {
                window.currentPage = 3
                exportPage.startExport()
            }
        }
    }

    header: AppHeader {
        onAboutRequested: aboutDialog.open()
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Sidebar {
            Layout.preferredWidth: 212
            Layout.fillHeight: true
            currentPage: window.currentPage
            onPageChosen: index => window.currentPage = index
        }

        StackLayout {
            objectName: "pages"
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: window.currentPage

            ImportPage {
                id: importPage
            }
            RulesPage {}
            ReviewPage {}
            ExportPage {
                id: exportPage
            }
        }
    }

    footer: StatusBar {}

    onClosing: close => {
        const question = window.closeQuestion()
        if (window.quitConfirmed || question === "")
            return
        close.accepted = false
        closeDialog.message = question
        closeDialog.open()
    }

    Component.onCompleted: {
        if (App.importer.pendingFiles > 0)
            continueDialog.open()
    }

    ConfirmDialog {
        id: closeDialog

        objectName: "closeDialog"
        title: qsTr("Quit Tessavo")
        confirmText: qsTr("Quit")
        onConfirmed: {
            if (App.exporter.exporting)
                App.exporter.cancelExport()
            if (App.recognition.running)
                App.recognition.cancel()
            window.quitConfirmed = true
            window.close()
        }
    }

    ConfirmDialog {
        id: continueDialog

        objectName: "continueDialog"
        title: qsTr("Continue the import")
        confirmText: qsTr("Continue import")
        message: qsTr("%n file(s) of the last import were not inspected. Inspect them now?", "", App.importer.pendingFiles)
        onConfirmed: App.importer.continueImport()
    }

    AboutDialog {
        id: aboutDialog

        objectName: "aboutDialog"
    }
}
