import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

ApplicationWindow {
    id: window

    property int currentPage: 0
    readonly property var navLabels: [qsTr("Import"), qsTr("Rules"), qsTr("Review"), qsTr("Export")]

    objectName: "mainWindow"
    width: 1180
    height: 800
    minimumWidth: 980
    minimumHeight: 660
    visible: true
    title: qsTr("Tessavo")
    color: Theme.bg

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
                text: qsTr("TESSAVO")
                color: Theme.text
                font.pixelSize: 15
                font.weight: Font.DemiBold
                font.letterSpacing: 1.1
            }
            Label {
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

                        Label {
                            anchors.left: parent.left
                            anchors.leftMargin: 12
                            anchors.verticalCenter: parent.verticalCenter
                            text: navItem.modelData
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

            ImportPage {}
            RulesPage {}
            ReviewPage {}
            ExportPage {}
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
                text: app.status
                color: Theme.muted
                font.pixelSize: 12
                elide: Text.ElideRight
            }
            Label {
                objectName: "importProgressText"
                visible: app.importing
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
            }
            BusyIndicator {
                objectName: "exportBusy"
                visible: app.exporting
                running: app.exporting
                Layout.preferredWidth: 18
                Layout.preferredHeight: 18
            }
            Label {
                objectName: "exportingText"
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

        ColumnLayout {
            width: 480
            spacing: 10

            Label {
                text: qsTr("Tessavo %1").arg(app.appVersion)
                color: Theme.text
                font.pixelSize: 16
                font.weight: Font.DemiBold
            }
            Label {
                Layout.preferredWidth: 480
                text: qsTr("Offline document organizer for Windows. Import PDFs, classify them with explainable rules, review every suggestion and export a manifest, an index PDF and a ZIP of the originals.")
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 12
            }
            Button {
                Layout.alignment: Qt.AlignRight
                text: qsTr("Close")
                onClicked: aboutDialog.close()
            }
        }
    }
}
