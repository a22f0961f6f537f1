import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// Asks before something is lost. Enter confirms, Escape cancels; the message is plain text, so
// names in it are shown as they are. An alternative answer, when named, gets a button of its own
// between the two.
Dialog {
    id: dialog

    property string message: ""
    property string confirmText: qsTr("Remove")
    property string alternativeText: ""

    signal confirmed
    signal alternativeChosen

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(440, parent ? parent.width - 40 : 440)
    modal: true
    focus: true

    onOpened: confirmButton.forceActiveFocus()

    ColumnLayout {
        width: parent.width
        spacing: 14

        Keys.onReturnPressed: confirmButton.clicked()
        Keys.onEnterPressed: confirmButton.clicked()

        Label {
            objectName: "confirmMessage"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: dialog.message
            color: Theme.text
            font.pixelSize: 13
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8

            Button {
                objectName: "confirmCancelButton"
                text: qsTr("Cancel")
                onClicked: dialog.close()
            }
            Button {
                objectName: "confirmAlternativeButton"
                visible: dialog.alternativeText !== ""
                text: dialog.alternativeText
                onClicked: {
                    dialog.close()
                    dialog.alternativeChosen()
                }
            }
            Button {
                id: confirmButton

                objectName: "confirmButton"
                text: dialog.confirmText
                highlighted: true
                // The style draws the focus in the accent colour, which a highlighted button already
                // has: a ring around it shows the focus instead.
                FocusFrame {
                    anchors.margins: -4
                    visible: confirmButton.visualFocus
                }
                onClicked: {
                    dialog.close()
                    dialog.confirmed()
                }
            }
        }
    }
}
