import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The bar above everything: the name, the version and the way to the About dialog.
Rectangle {
    id: bar

    signal aboutRequested

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
            text: qsTr("v") + App.appVersion
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
            onClicked: bar.aboutRequested()
        }
    }
}
