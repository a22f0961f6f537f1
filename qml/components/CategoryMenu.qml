import QtQuick
import QtQuick.Controls
import Tessavo

// The categories a document can be moved to, one item each.
Menu {
    signal categoryChosen(string category)

    Repeater {
        model: App.categories

        MenuItem {
            id: item

            required property string modelData

            text: modelData
            onTriggered: (item.menu as CategoryMenu).categoryChosen(item.modelData)
        }
    }
}
