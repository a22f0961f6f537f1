import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

ApplicationWindow {
    id: window

    property int currentPage: 0
    readonly property var navLabels: [qsTr("Import"), qsTr("Rules"), qsTr("Review"), qsTr("Export")]

    // The status an import found when it started. While that import runs, the line shows the
    // import instead; any newer message wins over both.
    property string statusAtImportStart: ""
    property bool importSeen: false
    readonly property bool statusStale: app.importing && app.status === statusAtImportStart

    objectName: "mainWindow"
    width: 1180
    height: 800
    minimumWidth: 980
    minimumHeight: 660
    visible: true
    title: qsTr("Tessavo")
    color: Theme.bg

    Connections {
        target: app

        function onBusyChanged() {
            if (app.importing && !window.importSeen)
                window.statusAtImportStart = app.status
            window.importSeen = app.importing
        }
    }

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

    header: Rectangle {
        implicitHeight: 62
        color: Theme.panel

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 1
            color: Theme.border
        }

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            spacing: 12

            Label {
                textFormat: Text.PlainText
                text: qsTr("TESSAVO")
                color: Theme.text
                font.pixelSize: 15
                font.weight: Font.DemiBold
                font.letterSpacing: 1.1
            }
            Label {
                textFormat: Text.PlainText
                text: qsTr("v") + app.appVersion
                color: Theme.muted
                font.pixelSize: 12
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "aboutButton"
                text: qsTr("About")
                flat: true
                Accessible.name: qsTr("About")
                onClicked: aboutDialog.open()
            }
        }
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            objectName: "sidebar"
            Layout.preferredWidth: 212
            Layout.fillHeight: true
            color: Theme.panel

            Rectangle {
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.right: parent.right
                width: 1
                color: Theme.border
            }

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 14
                spacing: 6

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("WORKSPACE")
                    color: Theme.muted
                    font.pixelSize: 10
                    font.weight: Font.DemiBold
                    font.letterSpacing: 1
                    leftPadding: 8
                    topPadding: 6
                    bottomPadding: 6
                }

                Repeater {
                    model: window.navLabels

                    delegate: Rectangle {
                        id: navItem

                        required property int index
                        required property string modelData
                        readonly property bool current: index === window.currentPage
                        readonly property int counter: index === 0 ? app.summary.total
                                                     : index === 2 ? app.summary.pending : 0

                        objectName: "nav" + index
                        Layout.fillWidth: true
                        Layout.preferredHeight: 40
                        radius: 7
                        color: current ? Theme.accentSoft : "transparent"
                        activeFocusOnTab: true
                        Accessible.role: Accessible.PageTab
                        Accessible.name: modelData
                        Accessible.selected: current
                        Accessible.onPressAction: window.currentPage = index
                        Keys.onSpacePressed: window.currentPage = index
                        Keys.onReturnPressed: window.currentPage = index
                        Keys.onEnterPressed: window.currentPage = index

                        Rectangle {
                            anchors.fill: parent
                            radius: parent.radius
                            color: "transparent"
                            border.color: Theme.accent
                            border.width: 2
                            visible: navItem.activeFocus
                        }

                        Label {
                            anchors.left: parent.left
                            anchors.leftMargin: 12
                            anchors.verticalCenter: parent.verticalCenter
                            text: navItem.modelData
                            textFormat: Text.PlainText
                            font.pixelSize: 14
                            font.weight: navItem.current ? Font.Medium : Font.Normal
                            color: navItem.current ? Theme.accent : Theme.text
                        }
                        Label {
                            objectName: "navCounter" + navItem.index
                            anchors.right: parent.right
                            anchors.rightMargin: 12
                            anchors.verticalCenter: parent.verticalCenter
                            visible: (navItem.index === 0 || navItem.index === 2) && navItem.counter > 0
                            text: navItem.counter
                            textFormat: Text.PlainText
                            font.pixelSize: 12
                            font.weight: navItem.index === 2 ? Font.DemiBold : Font.Normal
                            color: navItem.index === 2 ? Theme.warning : Theme.muted
                        }
                        MouseArea {
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: window.currentPage = navItem.index
                        }
                    }
                }

                Item {
                    Layout.fillHeight: true
                }
            }
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

    footer: Rectangle {
        implicitHeight: 36
        color: Theme.panel

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            height: 1
            color: Theme.border
        }

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            spacing: 12

            Label {
                objectName: "statusText"
                Layout.fillWidth: true
                text: window.statusStale ? qsTr("Importing %1%").arg(app.importProgress) : app.status
                textFormat: Text.PlainText
                color: window.statusStale ? Theme.accent : Theme.muted
                font.pixelSize: 12
                elide: Text.ElideRight
            }
            Label {
                objectName: "importProgressText"
                textFormat: Text.PlainText
                visible: app.importing && !window.statusStale
                text: qsTr("Importing %1%").arg(app.importProgress)
                color: Theme.accent
                font.pixelSize: 12
            }
            ProgressBar {
                objectName: "importProgressBar"
                visible: app.importing
                Layout.preferredWidth: 160
                from: 0
                to: 100
                value: app.importProgress
                Accessible.name: qsTr("Import progress")
            }
            Label {
                objectName: "recognitionProgressText"
                textFormat: Text.PlainText
                visible: app.recognising
                text: qsTr("Recognising text %1%").arg(app.recognitionProgress)
                color: Theme.accent
                font.pixelSize: 12
            }
            ProgressBar {
                objectName: "recognitionProgressBar"
                visible: app.recognising
                Layout.preferredWidth: 120
                from: 0
                to: 100
                value: app.recognitionProgress
                Accessible.name: qsTr("Text recognition progress")
            }
            Button {
                objectName: "cancelRecognitionButton"
                visible: app.recognising
                flat: true
                text: qsTr("Cancel")
                onClicked: app.cancelRecognition()
            }
            BusyIndicator {
                objectName: "exportBusy"
                visible: app.exporting
                running: app.exporting
                // The style's padding would leave nothing to draw at this size.
                padding: 0
                Layout.preferredWidth: 18
                Layout.preferredHeight: 18
                Accessible.name: qsTr("Exporting…")
            }
            Label {
                objectName: "exportingText"
                textFormat: Text.PlainText
                visible: app.exporting
                text: qsTr("Exporting…")
                color: Theme.accent
                font.pixelSize: 12
            }
        }
    }

    Dialog {
        id: aboutDialog

        objectName: "aboutDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: 520
        modal: true
        title: qsTr("About Tessavo")
        onOpened: closeButton.forceActiveFocus()

        ColumnLayout {
            width: 480
            spacing: 10

            Keys.onReturnPressed: aboutDialog.close()
            Keys.onEnterPressed: aboutDialog.close()

            Label {
                textFormat: Text.PlainText
                text: qsTr("Tessavo %1").arg(app.appVersion)
                color: Theme.text
                font.pixelSize: 16
                font.weight: Font.DemiBold
            }
            Label {
                textFormat: Text.PlainText
                Layout.preferredWidth: 480
                text: qsTr("Offline document organizer for Windows. Import PDFs, classify them with explainable rules, review every suggestion and export a manifest, an index PDF and a ZIP of the originals.")
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 12
            }
            Button {
                id: closeButton

                objectName: "aboutCloseButton"
                Layout.alignment: Qt.AlignRight
                text: qsTr("Close")
                onClicked: aboutDialog.close()
            }
        }
    }
}
