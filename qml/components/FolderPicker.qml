import QtQuick
import QtQuick.Dialogs
import Tessavo

// Asks for one folder: with the desktop's own dialog where it brings one, else with the
// window's FolderBrowser. Either way chosen() names the folder the user saw or typed.
Item {
    id: picker

    property string title

    signal chosen(url folder)

    function open() {
        if (FolderChoice.desktopDialog)
            desktopDialog.open()
        else
            browser.open()
    }

    FolderDialog {
        id: desktopDialog

        title: picker.title
        onAccepted: picker.chosen(desktopDialog.selectedFolder)
    }

    FolderBrowser {
        id: browser

        objectName: picker.objectName + "Browser"
        title: picker.title
        onChosen: folder => picker.chosen(folder)
    }
}
