import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

ApplicationWindow {
    id: window

    property int currentPage: 0

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

    AboutDialog {
        id: aboutDialog

        objectName: "aboutDialog"
    }
}
