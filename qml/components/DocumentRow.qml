import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// One imported document on the Import page: name, details, what went wrong, state and category.
Card {
    id: row

    required property string fileName
    required property string errorText
    required property string fileStatusText
    required property int pages
    required property string sizeText
    required property string sha
    required property int documentState
    required property string stateText
    required property string category
    required property string recognitionText
    // Whether the row shows the keyboard focus of its list.
    property bool focused: false

    height: recognitionText !== "" ? 96 : 78

    FocusFrame {
        visible: row.focused
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 4

            Label {
                objectName: "fileNameText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                // A right-to-left name gets a left-to-right mark first, so that its extension
                // stays at its end instead of the line taking the name's direction.
                text: /[\u0590-\u08ff\ufb1d-\ufdff\ufe70-\ufefc]/.test(row.fileName) ? "\u200e" + row.fileName : row.fileName
                color: Theme.text
                font.pixelSize: 14
                font.weight: Font.Medium
                elide: Text.ElideMiddle
            }
            Label {
                objectName: "detailsText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                // A file that could not be opened has no pages to count.
                text: row.pages > 0
                      ? qsTr("%1 pages · %2 · sha256 %3", "", row.pages).arg(row.pages).arg(row.sizeText).arg(row.sha)
                      : qsTr("%1 · sha256 %2").arg(row.sizeText).arg(row.sha)
                color: Theme.muted
                font.pixelSize: 11
                elide: Text.ElideRight
            }
            DetailLine {
                objectName: "recognitionText"
                text: row.recognitionText
                color: Theme.muted
            }
            DetailLine {
                objectName: "errorText"
                text: row.errorText
                color: Theme.danger
            }
            DetailLine {
                objectName: "fileStatusText"
                text: row.fileStatusText
                color: Theme.warning
            }
        }

        // A scan whose text was recognised no longer needs it said.
        StateChip {
            objectName: "stateChip"
            documentState: row.documentState
            text: row.stateText
            visible: row.documentState !== DocumentState.Ready
                     && !(row.documentState === DocumentState.NeedsOcr && row.recognitionText === "Text recognised")
        }

        Chip {
            objectName: "categoryChip"
            visible: row.category !== ""
            text: row.category
            color: Theme.accentSoft
            border.color: Theme.accentBorder
            textColor: Theme.accent
        }
    }
}
