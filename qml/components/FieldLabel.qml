import QtQuick
import QtQuick.Controls
import Tessavo

// The name of a field in a form, beside the field.
Label {
    textFormat: Text.PlainText
    color: Theme.text
    font.pixelSize: 12
}
