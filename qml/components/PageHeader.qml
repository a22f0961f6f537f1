import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// A page's title and subtitle on the left, its actions on the right.
RowLayout {
    id: header

    property string title: ""
    property string subtitle: ""
    property string subtitleName: ""
    // A long subtitle wraps rather than pushing the actions out of the window.
    property bool wrapSubtitle: false
    default property alias actions: actionRow.data

    Layout.fillWidth: true
    spacing: 10

    ColumnLayout {
        Layout.fillWidth: header.wrapSubtitle
        spacing: 2

        Label {
            textFormat: Text.PlainText
            text: header.title
            color: Theme.text
            font.pixelSize: 22
            font.weight: Font.DemiBold
        }
        Label {
            objectName: header.subtitleName
            textFormat: Text.PlainText
            Layout.fillWidth: header.wrapSubtitle
            wrapMode: header.wrapSubtitle ? Text.WordWrap : Text.NoWrap
            text: header.subtitle
            color: Theme.muted
            font.pixelSize: 12
        }
    }
    Item {
        Layout.fillWidth: !header.wrapSubtitle
    }
    RowLayout {
        id: actionRow

        spacing: 10
    }
}
