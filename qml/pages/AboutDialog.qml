import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The program's name, version and purpose. Close has the focus, so Enter closes it.
Dialog {
    id: dialog

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: 520
    modal: true
    title: qsTr("About Tessavo")
    onOpened: closeButton.forceActiveFocus()

    ColumnLayout {
        width: 480
        spacing: 10

        Keys.onReturnPressed: dialog.close()
        Keys.onEnterPressed: dialog.close()

        Label {
            textFormat: Text.PlainText
            text: qsTr("Tessavo %1").arg(App.appVersion)
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
            onClicked: dialog.close()
        }
    }
}
