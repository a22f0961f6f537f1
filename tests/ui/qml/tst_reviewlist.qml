import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtTest
import Tessavo

// The review list driven as a user would: finding, sorting, selecting several rows, keys and
// undo. Page switches as the window makes them (a stack of pages, Ctrl+1 and Ctrl+3).
Item {
    id: root

    width: 1100
    height: 760

    StackLayout {
        id: stack

        anchors.fill: parent
        currentIndex: 1

        Button {
            objectName: "otherPage"
            text: "Other"
        }
        ReviewPage {
            id: page
        }
    }
    Shortcut {
        sequence: "Ctrl+1"
        onActivated: stack.currentIndex = 0
    }
    Shortcut {
        sequence: "Ctrl+3"
        onActivated: stack.currentIndex = 1
    }

    TestCase {
        name: "ReviewList"
        when: windowShown

        function init() {
            fixtures.reset()
            stack.currentIndex = 1
            const search = findChild(page, "searchField")
            search.clear()
            list().forceActiveFocus()
            for (const box of ["showBox", "sortBox", "categoryBox"]) {
                const combo = findChild(page, box)
                combo.currentIndex = 0
                combo.activated(0)
            }
            // The page has its size once the stack has laid it out.
            tryVerify(() => list().width > 0 && list().height > 0)
        }

        function list() {
            return findChild(page, "reviewList")
        }

        function entry(row) {
            list().forceLayout()
            waitForItemPolished(list())
            return list().itemAtIndex(row)
        }

        function names() {
            const out = []
            const model = list().model
            for (let row = 0; row < list().count; ++row)
                out.push(model.data(model.index(row, 0), 257))  // the file name
            return out
        }

        function decisionOf(documentRow) {
            return App.documents.data(App.documents.index(documentRow, 0), 268)
        }

        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }

        function addSix() {
            fixtures.addDocument("Cover letter.pdf", DocumentState.Ready, "01_Solicitation")
            fixtures.addDocument("Bid bond.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("Pricing schedule.pdf", DocumentState.Ready, "03_Pricing", Decision.NeedsReview, true)
            fixtures.addDocument("Café method statement.pdf", DocumentState.Ready, "04_Technical", Decision.Accepted)
            fixtures.addDocument("appendix 10.pdf", DocumentState.Ready, "07_Appendices", Decision.Ignored)
            fixtures.addDocument("appendix 9.pdf", DocumentState.Ready, "")
        }

        function test_typingFindsByNameAndTheCountFollows() {
            addSix()
            const search = findChild(page, "searchField")
            const count = findChild(page, "shownCount")
            verify(!count.visible)
            mouseClick(search)
            verify(search.activeFocus)
            typeText("cafe")  // case and accents do not matter
            tryCompare(list(), "count", 1)
            compare(entry(0).fileName, "Café method statement.pdf")
            compare(count.text, "1 of 6 shown")
            keyClick(Qt.Key_Backspace)
            keyClick(Qt.Key_Backspace)
            keyClick(Qt.Key_Backspace)
            keyClick(Qt.Key_Backspace)
            typeText("APPENDIX")
            tryCompare(list(), "count", 2)
            compare(count.text, "2 of 6 shown")
            typeText("x")
            tryCompare(list(), "count", 0)
            compare(findChild(page, "emptyText").text, "No document matches the filter.")
            keyClick(Qt.Key_Escape)
            tryCompare(list(), "count", 6)
            verify(!count.visible)
            keyClick(Qt.Key_Escape)  // on an empty field: back to the list
            verify(list().activeFocus)
            keyClick(Qt.Key_End)
            compare(list().currentIndex, 5)
        }

        function test_filterByDecisionAndCategory() {
            addSix()
            const show = findChild(page, "showBox")
            show.forceActiveFocus()
            keyClick(Qt.Key_Down)  // Undecided
            tryCompare(list(), "count", 4)
            keyClick(Qt.Key_Down)  // Conflicts
            tryCompare(list(), "count", 1)
            compare(entry(0).fileName, "Pricing schedule.pdf")
            keyClick(Qt.Key_Down)  // Accepted
            tryCompare(list(), "count", 1)
            compare(entry(0).fileName, "Café method statement.pdf")
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)  // Ignored
            tryCompare(list(), "count", 1)
            compare(entry(0).fileName, "appendix 10.pdf")
            for (let i = 0; i < 5; ++i)
                keyClick(Qt.Key_Up)  // back to all decisions
            compare(show.currentIndex, 0)
            tryCompare(list(), "count", 6)

            const category = findChild(page, "categoryBox")
            category.forceActiveFocus()
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)  // 02_Forms
            tryCompare(list(), "count", 1)
            compare(entry(0).fileName, "Bid bond.pdf")
            compare(findChild(page, "shownCount").text, "1 of 6 shown")
            category.currentIndex = 0
            category.activated(0)

            // The documents that fail a rule of the package, from the Export page, until the user
            // asks for all again.
            const pathOf = row => App.documents.data(App.documents.index(row, 0), 258)
            page.showOnly([pathOf(0), pathOf(4)], "File names at most 50 characters")
            tryCompare(list(), "count", 2)
            compare(findChild(page, "shownCount").text,
                    "Only the documents that fail “File names at most 50 characters” · 2 of 6 shown")
            const showAll = findChild(page, "showAllButton")
            verify(showAll.visible)
            mouseClick(showAll)
            tryCompare(list(), "count", 6)
            verify(!showAll.visible)
            verify(list().activeFocus)
        }

        function test_sortByNameFolderCategoryPagesSize() {
            addSix()
            compare(names()[0], "Cover letter.pdf")  // import order first
            const sort = findChild(page, "sortBox")
            sort.forceActiveFocus()
            keyClick(Qt.Key_Down)  // by name: numbers in names by value
            tryCompare(sort, "currentIndex", 1)
            compare(names(), ["appendix 9.pdf", "appendix 10.pdf", "Bid bond.pdf",
                              "Café method statement.pdf", "Cover letter.pdf", "Pricing schedule.pdf"])
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)  // by category: the one without comes last
            compare(names(), ["Cover letter.pdf", "Bid bond.pdf", "Pricing schedule.pdf",
                              "Café method statement.pdf", "appendix 10.pdf", "appendix 9.pdf"])
            for (let i = 0; i < 3; ++i)
                keyClick(Qt.Key_Up)  // import order again
            compare(names()[0], "Cover letter.pdf")
            compare(names()[5], "appendix 9.pdf")
        }

        function test_clickSelectsAndKeysActOnTheClickedRow() {
            addSix()
            findChild(page, "searchField").forceActiveFocus()
            const row = entry(1)
            mouseClick(row, 20, 10)
            verify(list().activeFocus)
            compare(list().currentIndex, 1)
            verify(row.selected)
            verify(findChild(row, "focusFrame").visible)
            keyClick(Qt.Key_A)
            compare(decisionOf(1), Decision.Accepted)
            compare(decisionOf(0), Decision.NeedsReview)

            // The click works in a sorted and filtered list too: on the document clicked.
            findChild(page, "sortBox").forceActiveFocus()
            keyClick(Qt.Key_Down)  // by name: appendix 9 first
            mouseClick(entry(0), 20, 10)
            keyClick(Qt.Key_I)
            compare(decisionOf(5), Decision.Ignored)
        }

        function test_shiftDownSelectsAndOneUndoRestoresAll() {
            addSix()
            mouseClick(entry(0), 20, 10)
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            compare(list().currentIndex, 2)
            compare(findChild(page, "shownCount").text, "3 selected")
            verify(entry(0).selected && entry(1).selected && entry(2).selected && !entry(3).selected)
            keyClick(Qt.Key_A)  // the conflict is accepted too: the user chose these three
            compare([decisionOf(0), decisionOf(1), decisionOf(2)],
                    [Decision.Accepted, Decision.Accepted, Decision.Accepted])
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare([decisionOf(0), decisionOf(1), decisionOf(2)],
                    [Decision.NeedsReview, Decision.NeedsReview, Decision.NeedsReview])
            compare(App.status, "Undid 3 decision(s).")
            keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier)
            compare(App.summary.accepted, 4)
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            keyClick(Qt.Key_Y, Qt.ControlModifier)
            compare(App.summary.accepted, 4)

            // Ctrl+click takes a row away and adds one; I ignores the selected rows.
            mouseClick(entry(1), 20, 10, Qt.LeftButton, Qt.ControlModifier)
            list().positionViewAtIndex(5, ListView.Contain)
            mouseClick(entry(5), 20, 10, Qt.LeftButton, Qt.ControlModifier)
            compare(findChild(page, "shownCount").text, "3 selected")
            keyClick(Qt.Key_I)
            compare([decisionOf(0), decisionOf(1), decisionOf(2), decisionOf(5)],
                    [Decision.Ignored, Decision.Accepted, Decision.Ignored, Decision.Ignored])
            // Reset takes each back to its earlier decision, not to "Needs review".
            keyClick(Qt.Key_R)
            compare([decisionOf(0), decisionOf(2), decisionOf(5)],
                    [Decision.Accepted, Decision.Accepted, Decision.NeedsReview])
            // A plain click selects the clicked row alone.
            list().positionViewAtIndex(0, ListView.Beginning)
            mouseClick(entry(0), 20, 10)
            verify(!findChild(page, "shownCount").visible)
        }

        function test_homeEndAndPageKeys() {
            for (let i = 0; i < 40; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            const view = list()
            mouseClick(entry(0), 20, 10)
            keyClick(Qt.Key_End)
            compare(view.currentIndex, 39)
            tryVerify(() => view.contentY > 0)
            keyClick(Qt.Key_Home)
            compare(view.currentIndex, 0)
            keyClick(Qt.Key_PageDown)
            const page1 = view.currentIndex
            verify(page1 > 1 && page1 < 39, page1)
            keyClick(Qt.Key_PageDown)
            compare(view.currentIndex, Math.min(39, 2 * page1))
            keyClick(Qt.Key_PageUp)
            compare(view.currentIndex, page1)
            keyClick(Qt.Key_End, Qt.ShiftModifier)
            compare(findChild(page, "shownCount").text, (40 - page1) + " selected")
        }

        function test_tabGoesToTheCurrentRowNotTheFirst() {
            for (let i = 0; i < 40; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            const view = list()
            mouseClick(entry(0), 20, 10)
            keyClick(Qt.Key_End)
            tryVerify(() => view.contentY > 0)
            const scrolled = view.contentY
            keyClick(Qt.Key_Tab)
            compare(view.currentIndex, 39)
            verify(findChild(view.currentItem, "acceptButton").activeFocus)
            compare(view.contentY, scrolled)
            keyClick(Qt.Key_Space)
            compare(decisionOf(39), Decision.Accepted)
            compare(decisionOf(0), Decision.NeedsReview)
        }

        function test_manyAtOnceAskFirst() {
            for (let i = 0; i < 25; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            mouseClick(entry(0), 20, 10)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            compare(findChild(page, "shownCount").text, "25 selected")
            keyClick(Qt.Key_A)
            const dialog = findChild(page, "bulkDialog")
            tryCompare(dialog, "opened", true)
            compare(App.summary.accepted, 0)
            compare(findChild(dialog.contentItem, "confirmMessage").text,
                    "Accept the suggestions of 25 selected documents?")
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(App.summary.accepted, 0)
            keyClick(Qt.Key_A)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.summary.accepted, 25)
            mouseClick(findChild(page, "undoButton"))  // one step for all 25
            compare(App.summary.accepted, 0)
            verify(findChild(page, "redoButton").enabled)

            // "Accept all clear suggestions" asks too; filtered, it names and takes what is shown.
            const acceptAll = findChild(page, "acceptAllButton")
            mouseClick(acceptAll)
            tryCompare(dialog, "opened", true)
            compare(findChild(dialog.contentItem, "confirmMessage").text,
                    "Accept 25 clear suggestions? Conflicts and unsure suggestions stay for review.")
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            mouseClick(findChild(page, "searchField"))
            typeText("doc1")
            tryCompare(list(), "count", 11)
            compare(acceptAll.text, "Accept clear suggestions shown")
            mouseClick(acceptAll)
            compare(App.summary.accepted, 11)  // few enough: no question
            compare(decisionOf(2), Decision.NeedsReview)
        }

        function test_pageSwitchGivesTheListTheKeyboard() {
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("b.pdf", DocumentState.Ready, "02_Forms")
            keyClick(Qt.Key_1, Qt.ControlModifier)
            tryCompare(page, "visible", false)
            findChild(root, "otherPage").forceActiveFocus()
            keyClick(Qt.Key_3, Qt.ControlModifier)
            tryCompare(page, "visible", true)
            tryVerify(() => list().activeFocus)
            keyClick(Qt.Key_A)
            compare(App.summary.accepted, 1)
        }

        // The content area of the smallest window (980x660 less the sidebar, header and status
        // bar): every control of the page stays inside it, with several rows selected.
        function test_fitsTheSmallestWindow() {
            addSix()
            root.width = 768
            root.height = 562
            try {
                mouseClick(entry(0), 20, 10)
                keyClick(Qt.Key_Down, Qt.ShiftModifier)
                mouseClick(findChild(page, "searchField"))
                typeText("pdf")
                waitForItemPolished(page)
                for (const name of ["acceptAllButton", "redoButton", "sortBox", "shownCount", "reviewList", "previewPane"]) {
                    const item = findChild(page, name)
                    if (!item.visible)
                        continue
                    const right = item.mapToItem(root, item.width, 0).x
                    verify(right <= 768.5, name + " ends at " + right)
                }
            } finally {
                root.width = 1100
                root.height = 760
            }
        }

        function test_buttonsAreNamedWithTheirDocument() {
            fixtures.addDocument("Cover letter.pdf", DocumentState.Ready, "01_Solicitation")
            const row = entry(0)
            compare(row.Accessible.role, Accessible.ListItem)
            const accept = findChild(row, "acceptButton")
            compare(accept.Accessible.name, "Accept Cover letter.pdf")
            compare(findChild(row, "ignoreButton").Accessible.name, "Ignore Cover letter.pdf")
            compare(findChild(row, "resetButton").Accessible.name, "Reset Cover letter.pdf")
            compare(findChild(row, "changeButton").Accessible.name, "Change the category of Cover letter.pdf")
            compare(accept.ToolTip.text, "Accept the suggested category (A)")
            const reset = findChild(row, "resetButton")
            verify(!reset.enabled)
            // Qt 6.4 does not report a disabled item as disabled: the description says so.
            compare(fixtures.accessibleState(reset).description, "Not available for this document")
            compare(fixtures.accessibleState(accept).description, "Accept the suggested category (A)")
        }
    }
}
