import QtQuick
import QtTest
import Tessavo

Item {
    id: root

    width: 1000
    height: 700

    ImportPage {
        id: page

        anchors.fill: parent
    }

TestCase {
    name: "ImportPage"
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

    function test_headerFitsTheNarrowestWindow() {
        // 980 pixels of window minus the 212-pixel sidebar.
        root.width = 768
        for (const name of ["clearButton", "recogniseButton", "documentList"]) {
            const item = findChild(page, name)
            tryVerify(() => item.mapToItem(page, item.width, 0).x <= page.width - 20 + 0.5, 5000, name)
        }
        root.width = 1000
    }

    function test_emptyTextFollowsTheList() {
        const empty = findChild(page, "emptyText")
        verify(empty.visible)
        verify(empty.text.indexOf("Drop PDFs or a folder here, or use “Add PDFs”.") === 0)
        verify(empty.text.indexOf("\nScanned files are marked “Needs OCR”; “Recognise text” reads their text.") > 0)
        fixtures.addDocument("first.pdf", DocumentState.Ready, "")
        tryVerify(() => !empty.visible)
        fixtures.reset()
        tryVerify(() => empty.visible)
    }

    function test_stateChips_data() {
        return [
            { tag: "Ready", state: DocumentState.Ready, visible: false, color: "" },
            { tag: "Needs OCR", state: DocumentState.NeedsOcr, visible: true, color: "#fff4e5", border: "#f3d3a8", label: "#a15c00" },
            { tag: "Unreadable", state: DocumentState.Unreadable, visible: true, color: "#fdecea", border: "#f5c2bd", label: "#b42318" },
            { tag: "Encrypted", state: DocumentState.Encrypted, visible: true, color: "#fdecea", border: "#f5c2bd", label: "#b42318" },
            { tag: "Unknown", state: 7, visible: true, color: "#fdecea", border: "#f5c2bd", label: "#b42318" },
        ]
    }

    function test_stateChips(data) {
        fixtures.addDocument("doc.pdf", data.state, "")
        const chip = findChild(entry(0), "stateChip")
        compare(chip.visible, data.visible)
        if (data.visible) {
            verify(Qt.colorEqual(chip.color, data.color))
            verify(Qt.colorEqual(chip.border.color, data.border))
            verify(Qt.colorEqual(chip.children[0].color, data.label))
            compare(chip.children[0].text, data.tag)
            fuzzyCompare(chip.width, chip.children[0].implicitWidth + 16, 1)
        }
    }

    function test_categoryChipOnlyWithACategory() {
        fixtures.addDocument("none.pdf", DocumentState.Ready, "")
        fixtures.addDocument("forms.pdf", DocumentState.Ready, "02_Forms")
        verify(!findChild(entry(0), "categoryChip").visible)
        const chip = findChild(entry(1), "categoryChip")
        verify(chip.visible)
        compare(chip.children[0].text, "02_Forms")
        verify(Qt.colorEqual(chip.color, Theme.accentSoft))
    }

    function test_detailsLine() {
        fixtures.addDocument("Offer, final.pdf", 0, "02_Forms")
        const row = entry(0)
        let texts = []
        const walk = item => {
            if (item.text !== undefined)
                texts.push(item.text)
            for (let i = 0; i < item.children.length; ++i)
                walk(item.children[i])
        }
        walk(row)
        verify(texts.indexOf("Offer, final.pdf") >= 0)
        verify(texts.indexOf("2 pages · 4 KB · sha256 0123456789ab") >= 0)
    }

    function test_clearIsEnabledWithDocumentsOrAnImport() {
        const clear = findChild(page, "clearButton")
        verify(!clear.enabled)
        fixtures.addDocument("one.pdf", DocumentState.Ready, "")
        verify(clear.enabled)

        App.importer.addUrls([fixtures.makePdf("import-me.pdf", "bid bond")])
        verify(App.importer.running)
        verify(clear.enabled)
        tryCompare(App.importer, "running", false, 20000)
        verify(clear.enabled)
        compare(list().count, 2)

        mouseClick(clear)
        const dialog = findChild(page, "clearDialog")
        tryCompare(dialog, "opened", true)
        compare(findChild(dialog.contentItem, "confirmMessage").text, "Remove 2 documents and their decisions?")
        keyClick(Qt.Key_Return)
        tryCompare(dialog, "visible", false)
        compare(list().count, 0)
        compare(App.status, "Document list cleared.")
        verify(!clear.enabled)
    }

    function test_clearStopsAnImportThatHasNothingListedYet() {
        // The test worker holds a "gate" file until it is let through: the import stays busy.
        const held = fixtures.makePdf("gate-stopped.pdf", "bid bond")
        App.importer.addUrls([held])
        verify(App.importer.running)
        const clear = findChild(page, "clearButton")
        verify(clear.enabled)
        mouseClick(clear)
        verify(!App.importer.running)
        compare(App.status, "Document list cleared.")
        compare(findChild(page, "clearDialog").visible, false)
        fixtures.makePdf("gate-stopped.pdf.open", "")
        // Nothing of the stopped import arrives later: a file queued now comes alone.
        App.importer.addUrls([fixtures.makePdf("after-stop.pdf", "bid bond")])
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 1)
        tryVerify(function() { return list().itemAtIndex(0) !== null })
        compare(list().itemAtIndex(0).fileName, "after-stop.pdf")
    }

    function test_clearAsksFirstAndEscapeKeepsTheList() {
        fixtures.addDocument("only.pdf", DocumentState.Ready, "02_Forms")
        const clear = findChild(page, "clearButton")
        mouseClick(clear)
        const dialog = findChild(page, "clearDialog")
        tryCompare(dialog, "opened", true)
        compare(findChild(dialog.contentItem, "confirmMessage").text, "Remove 1 document and its decision?")
        verify(findChild(dialog.contentItem, "confirmButton").activeFocus)
        keyClick(Qt.Key_Escape)
        tryCompare(dialog, "visible", false)
        compare(list().count, 1)
        mouseClick(clear)
        tryCompare(dialog, "opened", true)
        mouseClick(findChild(dialog.contentItem, "confirmButton"))
        tryCompare(list(), "count", 0)
    }

    function test_failedFilesShowTheirReason() {
        fixtures.addDocument("locked.pdf", DocumentState.Encrypted, "")
        fixtures.addDocument("fine.pdf", DocumentState.Ready, "")
        const locked = findChild(entry(0), "errorText")
        verify(locked.visible)
        compare(locked.text, "the PDF needs a password")
        verify(Qt.colorEqual(locked.color, Theme.danger))
        // The reason stays inside the row.
        verify(locked.mapToItem(entry(0), 0, locked.height).y <= entry(0).height)
        verify(!findChild(entry(1), "errorText").visible)
    }

    function test_changedAndMissingFilesAreFlagged() {
        fixtures.addDocument("changed.pdf", DocumentState.Ready, "")
        fixtures.addDocument("fine.pdf", DocumentState.Ready, "")
        fixtures.addDocument("gone.pdf", DocumentState.Ready, "")
        fixtures.setFileStatus(0, 1)
        fixtures.setFileStatus(2, 2)
        const changed = findChild(entry(0), "fileStatusText")
        tryCompare(changed, "visible", true)
        compare(changed.text, "File changed since import")
        verify(changed.mapToItem(entry(0), 0, changed.height).y <= entry(0).height)
        verify(!findChild(entry(1), "fileStatusText").visible)
        compare(findChild(entry(2), "fileStatusText").text, "File missing")
    }

    function test_recogniseTextForEveryScan() {
        const button = findChild(page, "recogniseButton")
        verify(!button.enabled)
        fixtures.addDocument("fine.pdf", DocumentState.Ready, "")
        verify(!button.enabled)
        // A scan whose file is gone: recognition runs and fails, and the row says why.
        fixtures.addDocument("vanished-scan.pdf", DocumentState.NeedsOcr, "")
        verify(button.enabled)
        compare(button.text, "Recognise text")
        mouseClick(button)
        verify(App.recognition.running)
        compare(button.text, "Cancel recognition")
        tryCompare(App.recognition, "running", false, 30000)
        compare(button.text, "Recognise text")
        const note = findChild(entry(1), "recognitionText")
        verify(note.visible)
        compare(note.text.indexOf("Text not recognised: "), 0)
        compare(entry(1).stateText, "Needs OCR")
        verify(!findChild(entry(0), "recognitionText").visible)
    }

    function test_countedTextsUseTheSingular() {
        App.importer.addUrls([fixtures.makePdf("single.pdf", "one page only")])
        tryCompare(App.importer, "running", false, 20000)
        let texts = []
        const walk = item => {
            if (item.text !== undefined)
                texts.push(item.text)
            for (let i = 0; i < item.children.length; ++i)
                walk(item.children[i])
        }
        walk(entry(0))
        verify(texts.some(t => t.startsWith("1 page · ")), texts.join(" | "))
    }

    function test_listScrollsAndFollowsTheKeyboard() {
        for (let i = 0; i < 40; ++i)
            fixtures.addDocument("doc" + i + ".pdf", DocumentState.Ready, "")
        const view = list()
        view.forceLayout()
        const bar = findChild(page, "documentScrollBar")
        tryVerify(() => bar.visible)
        verify(bar.size < 1)
        view.forceActiveFocus()
        for (let i = 0; i < 30; ++i)
            keyClick(Qt.Key_Down)
        compare(view.currentIndex, 30)
        const row = view.currentItem
        tryVerify(() => row.y >= view.contentY - 0.5 && row.y + row.height <= view.contentY + view.height + 0.5)
        verify(bar.position > 0)
    }

    function test_droppedFilesAreImported() {
        // Anywhere on the page: beside the header, and over the list.
        const first = fixtures.makePdf("dropped first.pdf", "bid bond")
        fixtures.dropUrls(page, 5, 5, [first])
        verify(App.importer.running)
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 1)
        const second = fixtures.makePdf("dropped second.pdf", "bid bond")
        const third = fixtures.makePdf("dropped third.pdf", "bid bond")
        fixtures.dropUrls(page, page.width - 5, page.height - 5, [second, third])
        verify(App.importer.running)
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 3)
        tryVerify(() => entry(2) !== null)
        compare(entry(0).fileName, "dropped first.pdf")
        compare(entry(1).fileName, "dropped second.pdf")
        compare(entry(2).fileName, "dropped third.pdf")
    }

    function typeText(text) {
        for (const character of text)
            keyClick(character)
    }

    function openFolderBrowser() {
        mouseClick(findChild(page, "addFolderButton"))
        const browser = findChild(page, "importFolderBrowser")
        tryCompare(browser, "opened", true)
        return browser
    }

    function test_folderBrowserTakesTheFolderShownOrTyped() {
        const tree = fixtures.makeFolderTree()
        const treePath = decodeURIComponent(String(tree).replace("file://", ""))

        // A typed path means that path, with everything below it.
        let browser = openFolderBrowser()
        const field = findChild(browser.contentItem, "folderPathField")
        const folders = findChild(browser.contentItem, "folderList")
        mouseClick(field)
        keyClick(Qt.Key_A, Qt.ControlModifier)
        typeText(treePath)
        keyClick(Qt.Key_Return)
        tryCompare(browser, "visible", false)
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 4)

        // Nothing highlighted: "Open" takes the folder shown.
        fixtures.reset()
        browser = openFolderBrowser()
        compare(field.text, treePath)
        tryCompare(folders, "count", 3)
        mouseClick(findChild(browser.contentItem, "folderOpenButton"))
        tryCompare(browser, "visible", false)
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 4)

        // A folder highlighted with the keys is the one taken.
        fixtures.reset()
        browser = openFolderBrowser()
        tryCompare(folders, "count", 3)
        keyClick(Qt.Key_Down)
        keyClick(Qt.Key_Return)
        tryCompare(browser, "visible", false)
        tryCompare(App.importer, "running", false, 20000)
        compare(list().count, 2)
        const names = [entry(0).fileName, entry(1).fileName].sort()
        compare(names, ["a.pdf", "d.pdf"])

        // Escape takes nothing.
        fixtures.reset()
        browser = openFolderBrowser()
        keyClick(Qt.Key_Escape)
        tryCompare(browser, "visible", false)
        verify(!App.importer.running)
        compare(list().count, 0)
    }
}
}
