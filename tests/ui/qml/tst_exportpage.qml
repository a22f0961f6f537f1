import QtQuick
import QtTest
import Tessavo

Item {
    id: root

    width: 1100
    height: 760

    ExportPage {
        id: page

        anchors.fill: parent
    }

    SignalSpy {
        id: endSpy

        target: App.exporter
        signalName: "finished"
    }

    SignalSpy {
        id: busySpy

        target: App.exporter
        signalName: "exportingChanged"
    }

    SignalSpy {
        id: reviewSpy

        target: page
        signalName: "reviewOnly"
    }

    TestCase {
        name: "ExportPage"
        when: windowShown

        function init() {
            fixtures.reset()
            page.exportFolderUrl = ""
            page.exportFolderPath = ""
        }

        function test_exportNeedsAFolderChosenHereAndSomethingToExport() {
            const button = findChild(page, "exportButton")
            verify(!button.enabled)
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            verify(!button.enabled)  // no folder chosen yet
            page.chooseFolder(fixtures.folderWithSpaces())
            verify(button.enabled)
            fixtures.reset()
            verify(!button.enabled)  // nothing exportable
            fixtures.addDocument("locked.pdf", DocumentState.Encrypted, "")
            fixtures.addDocument("ignored.pdf", DocumentState.Ready, "02_Forms", Decision.Ignored)
            verify(!button.enabled)
        }

        function test_folderWithSpacesIsShownDecoded() {
            const destination = findChild(page, "destinationText")
            const url = fixtures.folderWithSpaces()
            page.chooseFolder(url)
            compare(page.exportFolderUrl, url)  // the export gets the URL as chosen
            verify(destination.text.endsWith("/Bid package 2026"))
            verify(destination.text.startsWith("/"))
            verify(Qt.colorEqual(destination.color, Theme.text))

            page.chooseFolder("file:///srv/Bid%20package%20%C3%85")
            compare(page.exportFolderPath, "/srv/Bid package Å")
            page.chooseFolder("file:///C:/Bids/Offer%202026")
            compare(page.exportFolderPath, "C:/Bids/Offer 2026")
            page.chooseFolder("file:///srv/100%25%zz")  // not decodable: shown as it is
            compare(page.exportFolderPath, "/srv/100%25%zz")
        }

        function test_tilesShowTheSummary() {
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("b.pdf", DocumentState.NeedsOcr, "", Decision.NeedsReview)
            fixtures.addDocument("c.pdf", DocumentState.Ready, "03_Pricing", Decision.Ignored, true)
            fixtures.addDocument("d.pdf", DocumentState.Ready, "02_Forms", Decision.Accepted)
            compare(findChild(findChild(page, "tile_total"), "tileValue").text, "4")
            // Only the decided document is ready; the two undecided ones are not.
            compare(findChild(findChild(page, "tile_ready"), "tileValue").text, "1")
            compare(findChild(findChild(page, "tile_pending"), "tileValue").text, "2")
            compare(findChild(findChild(page, "tile_needsOcr"), "tileValue").text, "1")
            compare(findChild(findChild(page, "tile_ignored"), "tileValue").text, "1")
            compare(findChild(findChild(page, "tile_conflicts"), "tileValue").text, "1")
        }

        function test_undecidedDocumentsAreExportedOnlyWhenTheUserSaysSo() {
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            fixtures.addDocument("b.pdf", DocumentState.Ready, "02_Forms", Decision.NeedsReview, true)
            fixtures.addDocument("c.pdf", DocumentState.Ready, "03_Pricing", Decision.NeedsReview, true)
            fixtures.addDocument("d.pdf", DocumentState.Ready, "02_Forms", Decision.Accepted)
            fixtures.addDocument("e.pdf", DocumentState.Unreadable, "")  // never exported: not counted
            page.chooseFolder(fixtures.folderWithSpaces())
            const dialog = findChild(page, "undecidedDialog")
            const button = findChild(page, "exportButton")
            busySpy.clear()

            mouseClick(button)
            tryCompare(dialog, "opened", true)
            compare(dialog.message, "1 document still needs review\n2 documents have conflicting suggestions\n\n"
                                    + "They are exported without a category. Export anyway?")
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(busySpy.count, 0)

            mouseClick(button)
            tryCompare(dialog, "opened", true)
            mouseClick(findChild(dialog.contentItem, "confirmCancelButton"))
            tryCompare(dialog, "visible", false)
            compare(busySpy.count, 0)

            mouseClick(button)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Return)
            tryVerify(() => busySpy.count > 0, 5000)  // the export started
            tryVerify(() => !App.exporter.exporting, 30000)

            // Once every document is decided, nothing is asked.
            for (let row = 0; row < 3; ++row)
                App.review.changeDocumentCategory(row, "08_Other")
            busySpy.clear()
            mouseClick(button)
            tryVerify(() => busySpy.count > 0, 5000)
            verify(!dialog.visible)
            tryVerify(() => !App.exporter.exporting, 30000)
        }

        // Moves the keyboard on with Tab until the named control has it.
        function tabTo(name) {
            for (let i = 0; i < 20 && (!page.Window.activeFocusItem || page.Window.activeFocusItem.objectName !== name); ++i)
                keyClick(Qt.Key_Tab)
            compare(page.Window.activeFocusItem.objectName, name)
            return page.Window.activeFocusItem
        }

        function test_portalRulesAreCheckedFromTheKeyboard() {
            const longName = "Technical proposal for the maintenance of the city roads, lot 2.pdf"
            fixtures.addDocument(longName, DocumentState.Ready, "04_Technical", Decision.Accepted)
            fixtures.addDocument("Bid form.pdf", DocumentState.Ready, "02_Forms")
            page.chooseFolder(fixtures.folderWithSpaces())
            const summary = findChild(page, "readinessSummary")
            compare(summary.text, "Ready to submit")
            reviewSpy.clear()

            findChild(page, "chooseFolderButton").forceActiveFocus(Qt.TabFocusReason)
            const box = tabTo("profileBox")
            keyClick(Qt.Key_Down)  // the typical portal
            // Too long, a comma, and a document nobody decided on.
            tryCompare(summary, "text", "3 rules not met")
            verify(findChild(page, "fitNamesBox").visible)

            // The failing documents of the first broken rule, reached from the keyboard.
            tabTo("reviewFailingButton")
            keyClick(Qt.Key_Space)
            compare(reviewSpy.count, 1)
            compare(reviewSpy.signalArguments[0][0].length, 1)
            verify(String(reviewSpy.signalArguments[0][0][0]).endsWith(longName))
            compare(reviewSpy.signalArguments[0][1], "File names at most 50 characters")

            // Shorter plain names are the fix the check offers for both rules on names.
            tabTo("fixButton")
            keyClick(Qt.Key_Space)
            tryCompare(summary, "text", "1 rule not met")
            verify(findChild(page, "fitNamesBox").checked)

            // The export still goes, once the user confirms, and the question names what fails.
            const dialog = findChild(page, "undecidedDialog")
            mouseClick(findChild(page, "exportButton"))
            tryCompare(dialog, "opened", true)
            verify(dialog.message.includes("The package breaks these rules of “Typical tender portal”:\n"
                                           + "Every document accepted or changed: 1 document does not meet it"),
                   dialog.message)
            verify(dialog.message.endsWith("\n\nExport anyway?"))
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
        }

        function test_progressAndCancelWhileExporting() {
            const cancel = findChild(page, "cancelExportButton")
            const percent = findChild(page, "exportPercent")
            verify(!cancel.visible)
            fixtures.addLargeDocument("large.pdf")
            page.chooseFolder(fixtures.folderWithSpaces())
            mouseClick(findChild(page, "exportButton"))
            tryVerify(() => App.exporter.progress >= 1, 60000)
            verify(cancel.visible)
            verify(percent.visible)
            verify(/^\d+ %$/.test(percent.text), percent.text)
            compare(findChild(page, "exportProgressBar").value, App.exporter.progress)
            mouseClick(cancel)
            tryCompare(App, "status", "Export cancelled.", 5000)
            verify(!cancel.visible)
            verify(!percent.visible)
        }

        function test_lastExportPanel() {
            const panel = findChild(page, "lastExportPanel")
            const warnings = findChild(page, "exportWarnings")
            fixtures.setLastExport({ ok: true, error: "", directory: "/out/Tessavo-Export-1",
                                     csv: "c", pdf: "p", zip: "/out/Tessavo-Export-1.zip",
                                     exported: 4, skipped: 0, warnings: [] })
            tryVerify(() => panel.visible, 5000)
            verify(!warnings.visible)  // absent, so the layout leaves no room for it
            compare(findChild(page, "exportCounts").text, "4 exported · 0 skipped")
            compare(findChild(page, "exportFiles").text, "manifest.csv\nindex.pdf\n/out/Tessavo-Export-1.zip")
            // Without a folder chosen here, the destination shows the last bundle folder...
            compare(findChild(page, "destinationText").text, "/out/Tessavo-Export-1")
            // ...but exporting still needs a folder chosen on this page.
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            verify(!findChild(page, "exportButton").enabled)

            fixtures.setLastExport({ ok: true, error: "", directory: "/out/Tessavo-Export-2",
                                     csv: "c", pdf: "p", zip: "/out/Tessavo-Export-2.zip",
                                     exported: 1, skipped: 0,
                                     warnings: ["Missing source file: /a.pdf", "Cannot copy original: /b.pdf"] })
            tryCompare(warnings, "visible", true, 5000)
            compare(warnings.text, "Missing source file: /a.pdf\nCannot copy original: /b.pdf")

            // A ZIP in volumes lists each, and "Open ZIP" opens the first.
            fixtures.setLastExport({ ok: true, error: "", directory: "/out/Tessavo-Export-3",
                                     csv: "c", pdf: "p", zip: "/out/Tessavo-Export-3-part1.zip",
                                     volumes: ["/out/Tessavo-Export-3-part1.zip", "/out/Tessavo-Export-3-part2.zip"],
                                     exported: 9, skipped: 0, warnings: [] })
            tryCompare(findChild(page, "exportFiles"), "text",
                       "manifest.csv\nindex.pdf\n/out/Tessavo-Export-3-part1.zip\n/out/Tessavo-Export-3-part2.zip", 5000)
            const openZip = findChild(page, "openZipButton")
            // The panel grew by a line: the page places it anew before it can be clicked.
            waitForItemPolished(findChild(page, "lastExportPanel").parent)
            mouseClick(openZip)
            tryVerify(() => fixtures.openedUrls().some(url => url.toString() === "file:///out/Tessavo-Export-3-part1.zip"), 5000)

            // A failed export leaves the panel as it was.
            endSpy.clear()
            fixtures.setLastExport({ ok: false, error: "Cannot create export folder: /x" })
            tryCompare(endSpy, "count", 1, 5000)
            compare(findChild(page, "exportCounts").text, "9 exported · 0 skipped")
        }

        function test_lastExportStaysInsideItsPanelInTheSmallestWindow() {
            // 980 by 660 pixels of window less sidebar, header and footer.
            root.width = 768
            root.height = 562
            let warnings = []
            for (let i = 0; i < 8; ++i)
                warnings.push("Cannot copy original: /bids/package/appendix " + i + ".pdf")
            fixtures.setLastExport({ ok: true, error: "", directory: "/out/Tessavo-Export-3",
                                     csv: "c", pdf: "p", zip: "/out/Tessavo-Export-3.zip",
                                     exported: 1, skipped: 8, warnings: warnings })
            const panel = findChild(page, "lastExportPanel")
            const view = findChild(page, "lastExportView")
            const warningsText = findChild(page, "exportWarnings")
            tryCompare(warningsText, "lineCount", 8, 5000)
            verify(panel.visible)
            // The panel fits the page, and what does not fit scrolls inside its border.
            verify(panel.mapToItem(page, 0, panel.height).y <= page.height - 20 + 0.5)
            verify(view.clip)
            verify(view.mapToItem(panel, 0, view.height).y <= panel.height)
            verify(view.contentHeight > view.height)
            mouseWheel(view, view.width / 2, view.height / 2, 0, -600)
            tryVerify(() => view.contentY > 0)
            root.width = 1100
            root.height = 760
        }

        // Disabled, the button keeps its text legible (the window's palette has disabled
        // colours for it) and says why.
        function test_disabledExportLooksDisabled() {
            const button = findChild(page, "exportButton")
            verify(!button.enabled)
            compare(button.opacity, 1)
            compare(button.Accessible.description, "No document is ready to export yet: import PDFs first.")
            fixtures.addDocument("a.pdf", DocumentState.Ready, "02_Forms")
            page.chooseFolder(fixtures.folderWithSpaces())
            verify(button.enabled)
            compare(button.Accessible.description, "")
        }
    
        function test_folderBrowserOpensEmptyAndTypedFolders() {
            const tree = fixtures.makeFolderTree()
            const treePath = decodeURIComponent(String(tree).replace("file://", ""))
            const browser = findChild(page, "exportFolderBrowser")
            const field = findChild(browser.contentItem, "folderPathField")
            const folders = findChild(browser.contentItem, "folderList")
            const open = findChild(browser.contentItem, "folderOpenButton")

            mouseClick(findChild(page, "chooseFolderButton"))
            tryCompare(browser, "opened", true)
            // A path that names no folder is refused where it was typed.
            mouseClick(field)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            for (const character of treePath + "/nowhere")
                keyClick(character)
            keyClick(Qt.Key_Return)
            verify(browser.visible)
            verify(findChild(browser.contentItem, "folderProblem").visible)
            compare(page.exportFolderPath, "")
            keyClick(Qt.Key_Backspace)
            for (let i = 0; i < "nowhere".length; ++i)
                keyClick(Qt.Key_Backspace)
            keyClick(Qt.Key_Return)
            tryCompare(browser, "visible", false)
            compare(page.exportFolderPath, treePath)

            // Into an empty folder with a double click: "Open" works there and takes it.
            mouseClick(findChild(page, "chooseFolderButton"))
            tryCompare(browser, "opened", true)
            tryCompare(folders, "count", 3)
            folders.forceLayout()
            mouseDoubleClickSequence(folders.itemAtIndex(2))
            tryCompare(field, "text", treePath + "/empty")
            tryCompare(folders, "count", 0)
            verify(open.enabled)
            mouseClick(open)
            tryCompare(browser, "visible", false)
            compare(page.exportFolderPath, treePath + "/empty")

            // Up, then Cancel: the destination stays.
            mouseClick(findChild(page, "chooseFolderButton"))
            tryCompare(browser, "opened", true)
            mouseClick(findChild(browser.contentItem, "folderUpButton"))
            compare(field.text, treePath)
            mouseClick(findChild(browser.contentItem, "folderCancelButton"))
            tryCompare(browser, "visible", false)
            compare(page.exportFolderPath, treePath + "/empty")
        }
}
}
