import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The bar above everything: the name, the version, the appearance and the way to the About
// dialog with the keyboard shortcuts.
Rectangle {
    id: bar

    // "desktop", "light" or "dark".
    property string appearance: "desktop"

    signal aboutRequested
    signal appearanceChosen(string appearance)

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
        ComboBox {
            id: appearanceBox

            readonly property var names: ["desktop", "light", "dark"]

            objectName: "appearanceBox"
            Layout.preferredWidth: 190
            model: [qsTr("Follow the desktop"), qsTr("Light"), qsTr("Dark")]
            currentIndex: Math.max(0, names.indexOf(bar.appearance))
            Accessible.name: qsTr("Appearance")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Appearance: light, dark, or as the desktop asks")
            onActivated: index => bar.appearanceChosen(names[index])
        }
        Button {
            objectName: "aboutButton"
            text: qsTr("About")
            flat: true
            Accessible.name: qsTr("About")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("About Tessavo and its keyboard shortcuts")
            onClicked: bar.aboutRequested()
        }
    }
}
