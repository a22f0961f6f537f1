import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt.labs.folderlistmodel
import Tessavo

// The folder dialog the window draws when the desktop brings none. "Open" takes the folder the
// user sees: the highlighted subfolder when one is highlighted, else the folder shown; a path
// typed into the field means that path. Double-click or the right arrow enters a folder,
// Backspace goes up, Enter opens, Escape cancels.
Dialog {
    id: dialog

    property url folder: FolderChoice.homeFolder() // the folder shown
    property int picked: -1 // the highlighted subfolder's row; -1 for none
    property string problem: ""

    signal chosen(url folder)

    function showFolder(target) {
        folder = target
        picked = -1
        problem = ""
        pathField.text = FolderChoice.pathOf(target)
    }

    function pick(row) {
        picked = Math.max(-1, Math.min(row, folderList.count - 1))
        if (picked >= 0)
            folderList.positionViewAtIndex(picked, ListView.Contain)
    }

    function openChoice() {
        const typed = pathField.text
        if (typed.trim() !== "" && typed !== FolderChoice.pathOf(folder)) {
            const target = FolderChoice.folderAt(typed, folder)
            if (String(target) === "") {
                problem = qsTr("There is no folder “%1”.").arg(typed)
                return
            }
            finish(target)
        } else if (picked >= 0 && picked < folderList.count) {
            finish(folders.get(picked, "fileUrl"))
        } else {
            finish(folder)
        }
    }

    // The next opening shows the folder chosen now.
    function finish(target) {
        folder = target
        close()
        chosen(target)
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(640, parent ? parent.width - 40 : 640)
    height: Math.min(480, parent ? parent.height - 40 : 480)
    modal: true
    focus: true

    onAboutToShow: showFolder(folder)
    onOpened: folderList.forceActiveFocus()

    FolderListModel {
        id: folders

        folder: dialog.folder
        showFiles: false
        showHidden: false
        showDotAndDotDot: false
        sortCaseSensitive: false
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            Button {
                objectName: "folderUpButton"
                text: qsTr("Up")
                Accessible.name: qsTr("Folder above")
                onClicked: dialog.showFolder(FolderChoice.parentOf(dialog.folder))
            }
            TextField {
                id: pathField

                objectName: "folderPathField"
                Layout.fillWidth: true
                selectByMouse: true
                Accessible.name: qsTr("Folder path")
                onAccepted: dialog.openChoice()
                onTextEdited: dialog.problem = ""
            }
        }

        ListView {
            id: folderList

            objectName: "folderList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: folders
            boundsBehavior: Flickable.StopAtBounds
            Accessible.name: qsTr("Folders")
            ScrollBar.vertical: ScrollBar {}

            Keys.onUpPressed: dialog.pick(dialog.picked < 0 ? folderList.count - 1 : dialog.picked - 1)
            Keys.onDownPressed: dialog.pick(dialog.picked + 1)
            Keys.onRightPressed: {
                if (dialog.picked >= 0)
                    dialog.showFolder(folders.get(dialog.picked, "fileUrl"))
            }
            Keys.onReturnPressed: dialog.openChoice()
            Keys.onEnterPressed: dialog.openChoice()
            Keys.onPressed: event => {
                if (event.key === Qt.Key_Backspace) {
                    dialog.showFolder(FolderChoice.parentOf(dialog.folder))
                    event.accepted = true
                }
            }

            delegate: ItemDelegate {
                required property int index
                required property string fileName
                required property url fileUrl

                objectName: "folderEntry_" + fileName
                width: ListView.view.width
                text: fileName
                focusPolicy: Qt.NoFocus
                // The 6.4 linter does not see the dialog's id from a delegate with required
                // properties; it is there.
                highlighted: index === dialog.picked // qmllint disable unqualified
                onClicked: dialog.pick(index) // qmllint disable unqualified
                onDoubleClicked: dialog.showFolder(fileUrl) // qmllint disable unqualified
            }

            Label {
                anchors.centerIn: parent
                visible: folderList.count === 0
                textFormat: Text.PlainText
                text: qsTr("No folders here. “Open” takes this folder.")
                color: Theme.muted
                font.pixelSize: 12
            }
        }

        Label {
            objectName: "folderProblem"
            Layout.fillWidth: true
            visible: dialog.problem !== ""
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            text: dialog.problem
            color: Theme.danger
            font.pixelSize: 12
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            spacing: 8

            Button {
                objectName: "folderCancelButton"
                text: qsTr("Cancel")
                onClicked: dialog.close()
            }
            Button {
                objectName: "folderOpenButton"
                text: qsTr("Open")
                highlighted: true
                onClicked: dialog.openChoice()
            }
        }
    }
}
