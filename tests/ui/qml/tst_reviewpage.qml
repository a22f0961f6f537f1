import QtQuick
import QtQuick.Controls
import QtTest
import Tessavo

Item {
    width: 1100
    height: 760

    ReviewPage {
        id: page

        anchors.fill: parent
    }

    // The whole window at its smallest, for what only it does: pages shown from the keyboard.
    Component {
        id: windowComponent

        Main {
            width: 980
            height: 660
        }
    }

    TestCase {
        id: testCase

        name: "ReviewPage"
        when: windowShown

        function init() {
            fixtures.reset()
            // Shortcuts reach the active window only: the test's own again after one of the
            // window tests.
            testCase.Window.window.requestActivate()
            tryVerify(() => testCase.Window.active)
        }

        function entry(row) {
            const list = findChild(page, "reviewList")
            list.forceLayout()
            return list.itemAtIndex(row)
        }

        function test_buttonsFollowTheDecision_data() {
            return [
                { tag: "needs review", decision: Decision.NeedsReview, suggestion: "02_Forms", accept: true, ignore: true, reset: false },
                { tag: "needs review, no suggestion", decision: Decision.NeedsReview, suggestion: "", accept: false, ignore: true, reset: false },
                { tag: "accepted", decision: Decision.Accepted, suggestion: "02_Forms", accept: false, ignore: true, reset: true },
                { tag: "changed with suggestion", decision: Decision.Changed, suggestion: "02_Forms", accept: true, ignore: true, reset: true },
                { tag: "changed without suggestion", decision: Decision.Changed, suggestion: "", accept: false, ignore: true, reset: true },
                { tag: "ignored", decision: Decision.Ignored, suggestion: "02_Forms", accept: false, ignore: false, reset: true },
            ]
        }

        function test_buttonsFollowTheDecision(data) {
            fixtures.addDocument("doc.pdf", DocumentState.Ready, data.suggestion, data.decision)
            const row = entry(0)
            compare(findChild(row, "acceptButton").enabled, data.accept)
            compare(findChild(row, "ignoreButton").enabled, data.ignore)
            compare(findChild(row, "resetButton").enabled, data.reset)
            verify(findChild(row, "changeButton").enabled)
        }

        function test_decisionChipColours_data() {
            return [
                { tag: "needs review", decision: Decision.NeedsReview, color: Theme.warningSoft, label: Theme.warning, text: "Needs review" },
                { tag: "accepted", decision: Decision.Accepted, color: Theme.okSoft, label: Theme.ok, text: "Accepted" },
                { tag: "changed", decision: Decision.Changed, color: Theme.okSoft, label: Theme.ok, text: "Changed" },
                { tag: "ignored", decision: Decision.Ignored, color: "#f2f4f7", label: Theme.muted, text: "Ignored" },
            ]
        }

        function test_decisionChipColours(data) {
            fixtures.addDocument("doc.pdf", DocumentState.Ready, "02_Forms", data.decision)
            const chip = findChild(entry(0), "decisionChip")
            verify(Qt.colorEqual(chip.color, data.color))
            verify(Qt.colorEqual(chip.children[0].color, data.label))
            compare(chip.children[0].text, data.text)
        }

        function test_conflictBorderAndNote() {
            fixtures.addDocument("clear.pdf", DocumentState.Ready, "02_Forms", Decision.NeedsReview, false)
            fixtures.addDocument("torn.pdf", DocumentState.Ready, "02_Forms", Decision.NeedsReview, true)
            const plain = entry(0)
            const torn = entry(1)
            compare(plain.border.width, 1)
            verify(Qt.colorEqual(plain.border.color, Theme.border))
            verify(!findChild(plain, "conflictNote").visible)
            compare(torn.border.width, 2)
            verify(Qt.colorEqual(torn.border.color, "#f0c48a"))
            const note = findChild(torn, "conflictNote")
            verify(note.visible)
            compare(note.text, "Conflicting categories: 02_Forms (Bid bond), 03_Pricing (Pricing schedule)")
            verify(Qt.colorEqual(note.color, Theme.warning))
        }

        function test_suggestionLine() {
            fixtures.addDocument("with.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("without.pdf", DocumentState.Ready, "")
            compare(findChild(entry(0), "suggestionLine").text,
                    "Suggestion: 02_Forms · rule “Bid bond” · text contains \"bid bond\" on page 1")
            compare(findChild(entry(1), "suggestionLine").text,
                    "No rule matched. Choose a category or ignore this document.")
        }

        function test_buttonsCallTheController() {
            fixtures.addDocument("doc.pdf", DocumentState.Ready, "02_Forms")
            const row = entry(0)
            findChild(row, "acceptButton").clicked()
            compare(App.summary.accepted, 1)
            tryCompare(findChild(entry(0), "acceptButton"), "enabled", false)
            findChild(entry(0), "ignoreButton").clicked()
            compare(App.summary.ignored, 1)
            // Reset goes back to the decision before: accepted, then needs review.
            findChild(entry(0), "resetButton").clicked()
            compare(App.summary.accepted, 1)
            findChild(entry(0), "resetButton").clicked()
            compare(App.summary.pending, 1)

            const menu = findChild(entry(0), "categoryMenu")
            compare(menu.count, 8)
            compare(menu.itemAt(0).text, "01_Solicitation")
            menu.itemAt(7).triggered()
            compare(App.summary.changed, 1)
        }

        function test_acceptAllAndCounts() {
            const acceptAll = findChild(page, "acceptAllButton")
            verify(!acceptAll.enabled)
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("b.pdf", DocumentState.Ready, "03_Pricing", Decision.NeedsReview, true)
            verify(acceptAll.enabled)
            compare(findChild(page, "reviewCounts").text,
                    "2 to review · 0 accepted · 0 changed · 0 ignored · 1 conflict")
            acceptAll.clicked()
            compare(App.status, "Accepted 1 suggestion(s). Conflicting items were left for review.")
            compare(findChild(page, "reviewCounts").text,
                    "1 to review · 1 accepted · 0 changed · 0 ignored · 1 conflict")
        }

        function test_changedAndMissingFilesAreFlagged() {
            fixtures.addDocument("changed.pdf", DocumentState.Ready, "02_Forms", Decision.Accepted)
            fixtures.addDocument("gone.pdf", DocumentState.Ready, "")
            fixtures.setFileStatus(0, 1)
            fixtures.setFileStatus(1, 2)
            tryCompare(findChild(entry(0), "fileStatusText"), "text", "File changed since import")
            verify(findChild(entry(0), "fileStatusText").visible)
            compare(findChild(entry(1), "fileStatusText").text, "File missing")
        }

        function test_failedFilesShowStateAndReason() {
            fixtures.addDocument("locked.pdf", DocumentState.Encrypted, "")
            fixtures.addDocument("scan.pdf", DocumentState.NeedsOcr, "")
            fixtures.addDocument("fine.pdf", DocumentState.Ready, "02_Forms")
            const locked = entry(0)
            const chip = findChild(locked, "stateChip")
            verify(chip.visible)
            compare(chip.children[0].text, "Encrypted")
            verify(Qt.colorEqual(chip.children[0].color, Theme.danger))
            compare(findChild(locked, "errorText").text, "the PDF needs a password")
            verify(findChild(locked, "errorText").visible)
            verify(!findChild(locked, "pagesText").visible)  // no "0 pages"
            compare(findChild(entry(1), "stateChip").children[0].text, "Needs OCR")
            verify(!findChild(entry(1), "errorText").visible)
            verify(!findChild(entry(2), "stateChip").visible)
            compare(findChild(entry(2), "pagesText").text, "2 pages")
        }

        function test_changedRowKeepsTheRulesSuggestion() {
            fixtures.addDocument("doc.pdf", DocumentState.Ready, "02_Forms")
            const change = findChild(entry(0), "changeButton")
            mouseClick(change)
            const menu = findChild(entry(0), "categoryMenu")
            tryCompare(menu, "opened", true)
            // Under its button, not over the row's buttons.
            const below = change.mapToItem(page, 0, change.height).y
            verify(Math.abs(menu.contentItem.mapToItem(page, 0, 0).y - below) < menu.topPadding + 2)
            mouseClick(menu.itemAt(7))
            tryCompare(menu, "visible", false)
            compare(App.summary.changed, 1)
            compare(findChild(entry(0), "suggestionLine").text,
                    "Suggestion: 02_Forms · rule “Bid bond” · text contains \"bid bond\" on page 1 — changed to 08_Other")
        }

        function test_makeARuleFromAChangedRow() {
            fixtures.addTextDocument("Traffic plan.pdf", "Traffic management plan\nLane closures and signs for the resurfacing works.")
            fixtures.addTextDocument("Rates.pdf", "Schedule of rates\nResurfacing rates and road works.")
            App.review.changeDocumentCategory(1, "03_Pricing")
            verify(!findChild(entry(0), "makeRuleButton").visible) // only once the user refiled it

            const change = findChild(entry(0), "changeButton")
            mouseClick(change)
            const menu = findChild(entry(0), "categoryMenu")
            tryCompare(menu, "opened", true)
            mouseClick(menu.itemAt(3))
            tryCompare(menu, "visible", false)
            const make = findChild(entry(0), "makeRuleButton")
            tryCompare(make, "visible", true)
            mouseClick(make)

            const dialog = findChild(page, "makeRuleDialog")
            tryCompare(dialog, "opened", true)
            compare(dialog.title, "Make a rule")
            const name = findChild(dialog.contentItem, "nameField")
            const heading = findChild(dialog.contentItem, "titleField")
            verify(name.text.startsWith("Technical: "), name.text)
            compare(findChild(dialog.contentItem, "categoryBox").editText, "04_Technical")
            verify(findChild(dialog.contentItem, "moreConditions").visible)
            verify(heading.text !== "")
            verify("traffic management plan lane closures and signs for the resurfacing works.".includes(heading.text), heading.text)
            verify(!"schedule of rates resurfacing rates and road works.".includes(heading.text), heading.text)
            verify(findChild(dialog.contentItem, "wholeWordsBox").checked)
            compare(findChild(dialog.contentItem, "originText").text,
                    "Proposed from “Traffic plan.pdf”: words of its heading or file name that no document of another category shares.")
            tryVerify(() => findChild(dialog.contentItem, "previewText").text.startsWith("Matches 1 document. "))

            tryVerify(() => name.activeFocus)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.rules.rowCount(), 10)
            compare(fixtures.suggestionAt(0).ruleName, name.text)
            compare(fixtures.suggestionAt(0).category, "04_Technical")
            verify(fixtures.suggestionAt(1).ruleName !== name.text)
        }

        function test_acceptedRowWithoutASuggestionSaysSo() {
            fixtures.addDocument("doc.pdf", DocumentState.Ready, "02_Forms", Decision.Accepted)
            App.review.removeRule(-1)  // re-classifies: no built-in rule matches "doc.pdf"
            const line = findChild(entry(0), "suggestionLine")
            tryCompare(line, "text", "No rule suggests a category any more. Choose a category or reset this document.")
            verify(Qt.colorEqual(line.color, Theme.warning))
        }

        function test_keysActOnTheFocusedRow() {
            for (let i = 0; i < 30; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            const list = findChild(page, "reviewList")
            list.forceActiveFocus()
            while (list.currentIndex > 0)
                keyClick(Qt.Key_Up)
            for (let i = 0; i < 20; ++i)
                keyClick(Qt.Key_Down)
            compare(list.currentIndex, 20)
            const row = list.currentItem
            verify(findChild(row, "focusFrame").visible)
            tryVerify(() => row.y >= list.contentY - 0.5 && row.y + row.height <= list.contentY + list.height + 0.5)

            keyClick(Qt.Key_A)
            compare(App.documents.data(App.documents.index(20, 0), 268), Decision.Accepted)
            compare(App.summary.accepted, 1)
            keyClick(Qt.Key_I)
            compare(App.documents.data(App.documents.index(20, 0), 268), Decision.Ignored)
            keyClick(Qt.Key_R)
            compare(App.documents.data(App.documents.index(20, 0), 268), Decision.Accepted)
            keyClick(Qt.Key_R)
            compare(App.documents.data(App.documents.index(20, 0), 268), Decision.NeedsReview)

            keyClick(Qt.Key_C)
            const menu = findChild(list.currentItem, "categoryMenu")
            tryCompare(menu, "opened", true)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            tryCompare(menu, "visible", false)
            compare(App.documents.data(App.documents.index(20, 0), 268), Decision.Changed)
            compare(App.summary.changed, 1)
            compare(App.summary.pending, 29)
        }

        // Each decision, by key or by click, says in the status line what it did.
        function test_statusSaysWhatADecisionDid() {
            for (let i = 0; i < 3; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            const list = findChild(page, "reviewList")
            list.forceActiveFocus()
            list.currentIndex = 0
            keyClick(Qt.Key_A)
            compare(App.status, "Accepted 1 document(s).")
            keyClick(Qt.Key_I)
            compare(App.status, "Ignored 1 document(s).")
            keyClick(Qt.Key_R)
            compare(App.status, "Reset 1 document(s) to their earlier decision.")
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare(App.status, "Undid 1 decision(s).")
            keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier)
            compare(App.status, "Redid 1 decision(s).")
            keyClick(Qt.Key_C)
            const menu = findChild(list.currentItem, "categoryMenu")
            tryCompare(menu, "opened", true)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            tryCompare(menu, "visible", false)
            compare(App.status, "Filed 1 document(s) under 01_Solicitation.")
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            keyClick(Qt.Key_I)
            compare(App.status, "Ignored 3 document(s).")
            mouseClick(findChild(entry(1), "resetButton"))
            compare(App.status, "Reset 3 document(s) to their earlier decision.")
            keyClick(Qt.Key_Escape)  // the clicked row alone stays selected
            mouseClick(findChild(entry(1), "acceptButton"))
            compare(App.status, "Accepted 1 document(s).")
        }

        function test_focusedButtonBringsItsRowAlong() {
            for (let i = 0; i < 30; ++i)
                fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "02_Forms")
            const list = findChild(page, "reviewList")
            findChild(entry(0), "resetButton").enabled  // needs review: reset is off
            findChild(entry(0), "ignoreButton").forceActiveFocus()
            compare(list.currentIndex, 0)
            // From the last enabled button of row 0, Tab moves on to row 1's first button.
            keyClick(Qt.Key_Tab)
            compare(list.currentIndex, 1)
            verify(findChild(entry(1), "acceptButton").activeFocus)
            keyClick(Qt.Key_Space)
            compare(App.summary.accepted, 1)
            compare(App.documents.data(App.documents.index(1, 0), 268), Decision.Accepted)
        }

        // The darkest point across the middle of an item as drawn: a button's background.
        // grabImage() cuts an item out by its own x and y, which are scene coordinates only for
        // the page; the item is looked up in the page's picture.
        function darkest(item) {
            const image = grabImage(page)
            const origin = item.mapToItem(page, 0, 0)
            const y = Math.floor(origin.y + item.height / 2)
            let lowest = 1
            for (let x = 0; x < item.width; x += 2)
                lowest = Math.min(lowest, image.pixel(Math.floor(origin.x + x), y).hslLightness)
            return lowest
        }

        function test_disabledAcceptAllLooksDisabled() {
            const button = findChild(page, "acceptAllButton")
            verify(!button.enabled)
            waitForRendering(button)
            const off = darkest(button)
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            verify(button.enabled)
            waitForRendering(button)
            const on = darkest(button)
            // Clearly lighter when it cannot be used.
            verify(off - on > 0.3, off + " vs " + on)
        }

        function test_countsAndPagesUseTheSingular() {
            App.importer.addUrls([fixtures.makePdf("single.pdf", "one page only")])
            tryCompare(App.importer, "running", false, 20000)
            compare(findChild(entry(0), "pagesText").text, "1 page")
            fixtures.addDocument("torn.pdf", DocumentState.Ready, "03_Pricing", Decision.NeedsReview, true)
            compare(findChild(page, "reviewCounts").text,
                    "2 to review · 0 accepted · 0 changed · 0 ignored · 1 conflict")
        }

        // Two real PDFs imported; the preview draws the focused one and follows the arrow keys.
        function test_previewFollowsTheFocusedRow() {
            const first = fixtures.makePdf("preview-first.pdf", "Bid bond of the tenderer")
            const second = fixtures.makePdf("preview-second.pdf", "PRICING SCHEDULE\nLot 1 prices\nLot 2 prices")
            App.importer.addUrls([first, second])
            tryVerify(() => App.summary.total === 2, 30000)
            const list = findChild(page, "reviewList")
            const image = findChild(page, "pageImage")
            list.forceActiveFocus()
            while (list.currentIndex > 0)
                keyClick(Qt.Key_Up)
            tryVerify(() => App.preview.fileName === "preview-first.pdf" && App.preview.hasImage, 30000)
            compare(findChild(page, "previewName").text, "preview-first.pdf")
            compare(findChild(page, "pageText").text, "page 1 of 1")
            // The rule's term is marked on the page.
            verify(App.preview.highlightCount > 0)
            tryVerify(() => fixtures.inkPixels(image) > 50)
            const before = fixtures.pictureDigest(image)

            keyClick(Qt.Key_Down)
            compare(list.currentIndex, 1)
            tryVerify(() => App.preview.fileName === "preview-second.pdf" && App.preview.hasImage
                      && !App.preview.busy, 30000)
            tryVerify(() => fixtures.inkPixels(image) > 50)
            verify(fixtures.pictureDigest(image) !== before)

            // Enter opens the focused document, a double click the clicked one; nothing else.
            const opened = fixtures.openedUrls().length
            keyClick(Qt.Key_Return)
            compare(fixtures.openedUrls().length, opened + 1)
            compare(fixtures.openedUrls()[opened], second)
            mouseDoubleClickSequence(entry(0), 20, 10)
            compare(fixtures.openedUrls().length, opened + 2)
            compare(fixtures.openedUrls()[opened + 1], first)
            // Where the button lies once the pane has laid out the file just chosen.
            const showInFolder = findChild(page, "showInFolderButton")
            waitForItemPolished(showInFolder.parent)
            mouseClick(showInFolder)
            compare(fixtures.openedUrls().length, opened + 3)
        }

        // Each row names its folder below what was imported; copies of the same bytes are flagged
        // and ignored with one action, the first copy staying.
        function test_foldersAndDuplicates() {
            const tree = fixtures.makeFolderTree()
            App.importer.addUrls([tree])
            tryVerify(() => App.summary.total === 4, 30000)
            const folders = {}
            for (let row = 0; row < 4; ++row) {
                const item = entry(row)
                // The tree's four files hold the same bytes: all but the first are flagged.
                folders[item.fileName] = findChild(item, "folderText").text.split(" · ")[0]
            }
            compare(folders["top.pdf"], "tree")
            compare(folders["a.pdf"], "tree/alpha")
            compare(folders["d.pdf"], "tree/alpha/deeper")
            compare(folders["b.pdf"], "tree/beta")
            // Copies are looked for once the import has placed its rows.
            tryCompare(App.documents, "duplicateCount", 3)

            fixtures.reset()
            const original = fixtures.makePdf("Cover letter.pdf", "Cover letter")
            const copy = fixtures.copyOf(original, "Lot 2")
            App.importer.addUrls([original])
            tryVerify(() => App.summary.total === 1, 30000)
            App.importer.addUrls([copy])
            tryVerify(() => App.summary.total === 2, 30000)
            const flag = findChild(entry(1), "folderText")
            tryCompare(flag, "text", "Lot 2 · Same content as Cover letter.pdf")
            verify(Qt.colorEqual(flag.color, Theme.warning))
            verify(findChild(entry(0), "folderText").text.indexOf("Same content") < 0)
            const button = findChild(page, "ignoreDuplicatesButton")
            tryCompare(button, "visible", true)
            compare(button.text, "Ignore duplicates (1)")
            waitForItemPolished(button.parent)
            mouseClick(button)
            compare(App.documents.data(App.documents.index(1, 0), 268), Decision.Ignored)
            compare(App.documents.data(App.documents.index(0, 0), 268), Decision.NeedsReview)
            tryCompare(button, "visible", false)
        }

        function shownWindow() {
            const main = createTemporaryObject(windowComponent, testCase)
            main.requestActivate()
            tryVerify(() => main.active)
            return main
        }

        // Ctrl+3 shows the Review page with the keyboard in its list, so the arrows and the
        // decision keys act at once; the find field takes typing once clicked, and Down gives
        // the keyboard back to the list.
        function test_reviewFromTheKeyboardTakesTheKeys() {
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("b.pdf", DocumentState.Ready, "03_Pricing")
            const main = shownWindow()
            const list = findChild(main.contentItem, "reviewList")
            keyClick(Qt.Key_3, Qt.ControlModifier)
            tryCompare(main, "currentPage", 2)
            tryVerify(() => list.activeFocus)
            compare(list.currentIndex, 0)
            keyClick(Qt.Key_Down)
            compare(list.currentIndex, 1)
            keyClick(Qt.Key_A)
            compare(App.documents.data(App.documents.index(1, 0), 268), Decision.Accepted)

            const search = findChild(main.contentItem, "searchField")
            mouseClick(search)
            keyClick(Qt.Key_A)
            compare(search.text, "a")
            compare(App.summary.accepted, 1)
            keyClick(Qt.Key_Down)
            verify(list.activeFocus)
            search.clear()
        }

        // At the smallest window the preview, once shown, keeps every control whole and inside.
        function test_previewFitsTheSmallestWindow() {
            App.importer.addUrls([fixtures.makePdf("small-window.pdf", "Bid bond")])
            tryVerify(() => App.summary.total === 1, 30000)
            const main = shownWindow()
            keyClick(Qt.Key_3, Qt.ControlModifier)
            const pane = findChild(main.contentItem, "previewPane")
            verify(!pane.visible)  // too narrow to start with it
            mouseClick(findChild(main.contentItem, "previewToggle"))
            tryCompare(pane, "visible", true)
            tryVerify(() => App.preview.pageCount === 1, 30000)
            // Inside the pane, and as wide as its text.
            const whole = item => {
                const at = item.mapToItem(pane, 0, 0)
                const text = item instanceof Button ? item.implicitContentWidth + item.leftPadding + item.rightPadding
                                                     : item.implicitWidth
                return item.visible && at.x >= 0 && at.x + item.width <= pane.width + 0.5
                        && item.width + 0.5 >= text
            }
            for (const name of ["previousPageButton", "pageText", "nextPageButton", "fitWidthButton",
                                "openButton", "showInFolderButton"])
                tryVerify(() => pane.width >= 240 && whole(findChild(pane, name)), 5000, name)
            const fit = findChild(pane, "fitWidthButton")
            mouseClick(fit)
            verify(!pane.fitWidth)
        }

        function test_emptyText() {
            const empty = findChild(page, "emptyText")
            verify(empty.visible)
            fixtures.addDocument("a.pdf", DocumentState.Ready, "")
            tryVerify(() => !empty.visible)
        }
    }
}
