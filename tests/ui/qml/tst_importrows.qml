import QtQuick
import QtTest
import Tessavo

// The Import page's list as the keyboard and the eye meet it: the empty list shows the focus,
// the keys of a list move in it, and a file that could not be opened shows no page count.
Item {
    id: root

    width: 768
    height: 562

    ImportPage {
        id: page

        anchors.fill: parent
    }

    TestCase {
        name: "ImportRows"
        when: windowShown

        function init() {
            fixtures.reset()
        }

        function list() {
            return findChild(page, "documentList")
        }

        function entry(row) {
            list().forceLayout()
            return list().itemAtIndex(row)
        }

        function test_unopenedFilesShowNoPageCount() {
            fixtures.addDocument("locked.pdf", DocumentState.Encrypted, "")
            fixtures.addDocument("broken.pdf", DocumentState.Unreadable, "")
            tryCompare(list(), "count", 2)
            for (const row of [0, 1]) {
                const details = findChild(entry(row), "detailsText").text
                verify(details.indexOf("0 pages") < 0, details)
                verify(details.indexOf("sha256 0123456789ab") >= 0, details)
            }
        }

        // The empty list shows where the focus is; filled, the keys of a list move in it.
        function test_theFocusIsShownAndTheKeysMoveInTheList() {
            const frame = findChild(page, "emptyListFocus")
            findChild(page, "addPdfsButton").forceActiveFocus()
            verify(!frame.visible)
            list().forceActiveFocus()
            verify(list().activeFocus, "focus")
            tryVerify(() => frame.visible)
            for (let i = 0; i < 30; ++i)
                fixtures.addDocument("part-" + i + ".pdf", DocumentState.Ready, "")
            tryVerify(() => !frame.visible)
            tryCompare(list(), "count", 30)
            keyClick(Qt.Key_End)
            compare(list().currentIndex, 29)
            tryVerify(() => entry(29) && entry(29).mapToItem(list(), 0, 0).y + entry(29).height <= list().height + 0.5)
            keyClick(Qt.Key_PageUp)
            const up = list().currentIndex
            verify(up < 29 && up > 20, up)
            keyClick(Qt.Key_Home)
            compare(list().currentIndex, 0)
            keyClick(Qt.Key_PageDown)
            compare(list().currentIndex, 29 - up)
        }
    }
}
