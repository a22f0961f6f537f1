import QtQuick
import QtTest
import Tessavo

Item {
    id: root

    width: 1100
    height: 760

    RulesPage {
        id: page

        anchors.fill: parent
    }

    TestCase {
        name: "RulesPage"
        when: windowShown

        function init() {
            fixtures.reset()
        }

        function entry(row) {
            const list = findChild(page, "ruleList")
            list.forceLayout()
            return list.itemAtIndex(row)
        }

        function test_headerFitsTheNarrowestWindow() {
            // 980 pixels of window minus the 212-pixel sidebar.
            root.width = 768
            const exportButton = findChild(page, "exportRulesButton")
            tryVerify(() => exportButton.mapToItem(page, exportButton.width, 0).x <= page.width - 20 + 0.5)
            const list = findChild(page, "ruleList")
            verify(list.mapToItem(page, list.width, 0).x <= page.width - 20 + 0.5)
            root.width = 1100
        }

        function test_listsTheRulesWithSummaries() {
            const list = findChild(page, "ruleList")
            tryCompare(list, "count", 9)
            compare(findChild(entry(6), "summaryText").text,
                    "text contains any of \"references\", \"reference form\", \"past performance questionnaire\" and 1 more; whole words")
        }

        // The history of decisions and rule changes is undone and redone from the keyboard here
        // too: a removed rule comes back where it was.
        function test_undoAndRedoFromTheKeyboard() {
            const list = findChild(page, "ruleList")
            const second = App.rules.data(App.rules.index(1, 0), Qt.DisplayRole)
            const dialog = findChild(page, "removeDialog")
            mouseClick(findChild(entry(1), "removeButton"))
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            tryCompare(list, "count", 8)
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            tryCompare(list, "count", 9)
            compare(App.rules.data(App.rules.index(1, 0), Qt.DisplayRole), second)
            compare(App.status, "Undid the change to rule “" + second + "”.")
            keyClick(Qt.Key_Y, Qt.ControlModifier)
            tryCompare(list, "count", 8)
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier)
            tryCompare(list, "count", 8)
            compare(App.status, "Redid the change to rule “" + second + "”.")
        }

        function test_toggleSwitchesTheRuleAtOnce() {
            const box = findChild(entry(1), "enabledBox")
            verify(box.checked)
            box.toggle()
            box.toggled()
            verify(!App.rules.data(App.rules.index(1, 0), 261))
            // The row stays usable, so the rule can be switched back on.
            const again = findChild(entry(1), "enabledBox")
            verify(again.enabled)
            verify(!again.checked)
            again.toggle()
            again.toggled()
            verify(App.rules.data(App.rules.index(1, 0), 261))
        }

        function test_removeAndEmptyText() {
            const empty = findChild(page, "emptyText")
            verify(!empty.visible)
            const dialog = findChild(page, "removeDialog")
            for (let i = 0; i < 9; ++i) {
                findChild(entry(0), "removeButton").clicked()
                tryCompare(dialog, "opened", true)
                keyClick(Qt.Key_Return)
                tryCompare(dialog, "visible", false)
            }
            compare(App.rules.rowCount(), 0)
            tryVerify(() => empty.visible)
        }

        function test_dialogStartsWithItsDefaultsAndKeepsValues() {
            const dialog = findChild(page, "addRuleDialog")
            dialog.open()
            tryCompare(dialog, "opened", true)
            const name = findChild(dialog.contentItem, "nameField")
            const category = findChild(dialog.contentItem, "categoryBox")
            const minPages = findChild(dialog.contentItem, "minPagesBox")
            const maxPages = findChild(dialog.contentItem, "maxPagesBox")
            const priority = findChild(dialog.contentItem, "priorityBox")
            compare(name.text, "")
            compare(name.placeholderText, "Bid bond")
            compare(category.currentIndex, 1)
            compare(category.editText, "02_Forms")
            compare(minPages.value, 0)
            compare(maxPages.value, 0)
            compare(priority.value, 100)
            priority.value = 0
            compare(priority.value, 1)
            priority.value = 5000
            compare(priority.value, 1000)
            maxPages.value = 20000
            compare(maxPages.value, 10000)

            name.text = "  Insurance  "
            category.currentIndex = 5
            findChild(dialog.contentItem, "textField").text = "insured"
            minPages.value = 2
            priority.value = 70
            findChild(dialog.contentItem, "confirmAddButton").clicked()
            tryCompare(dialog, "visible", false)
            compare(App.status, "Rule \"Insurance\" added.")
            compare(App.rules.rowCount(), 10)

            dialog.open()
            tryCompare(dialog, "opened", true)
            compare(name.text, "  Insurance  ")
            compare(category.editText, "06_Insurance")
            compare(minPages.value, 2)
            compare(priority.value, 70)
            findChild(dialog.contentItem, "cancelButton").clicked()
            tryCompare(dialog, "visible", false)
        }

        function test_longNameIsCutAndRemoveStaysReachable() {
            root.width = 768
            const name = "Performance bond issued by an approved surety ".repeat(12)
            App.review.addRule(name, "02_Forms", "", "bond", 0, 0, 50)
            const list = findChild(page, "ruleList")
            tryCompare(list, "count", 10)
            list.positionViewAtEnd()
            const row = entry(9)
            compare(findChild(row, "nameText").text, name.trim())
            const remove = findChild(row, "removeButton")
            tryVerify(() => remove.mapToItem(row, remove.width, 0).x <= row.width - 12 + 0.5)
            const category = findChild(row, "categoryText")
            verify(category.mapToItem(row, category.width, 0).x <= row.width)
            verify(category.width >= category.implicitWidth - 0.5)
            verify(findChild(row, "nameText").truncated)
            const summary = findChild(row, "summaryText")
            verify(summary.mapToItem(row, summary.width, 0).x <= row.width)

            mouseClick(remove)
            const dialog = findChild(page, "removeDialog")
            tryCompare(dialog, "opened", true)
            compare(findChild(dialog.contentItem, "confirmMessage").text, "Remove the rule “" + name.trim() + "”?")
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(App.rules.rowCount(), 10)
            mouseClick(remove)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Return)
            tryVerify(() => App.rules.rowCount() === 9)
            root.width = 1100
        }

        function test_addRuleFromTheKeyboard() {
            mouseClick(findChild(page, "addRuleButton"))
            const dialog = findChild(page, "addRuleDialog")
            tryCompare(dialog, "opened", true)
            const name = findChild(dialog.contentItem, "nameField")
            tryVerify(() => name.activeFocus)
            name.selectAll()
            keySequence("Ctrl+A")
            for (const c of "Tender")
                keyClick(c)
            keyClick(Qt.Key_Tab)  // category
            keyClick(Qt.Key_Tab)  // file name contains
            for (const c of "tender")
                keyClick(c)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.status, "Rule \"Tender\" added.")
            compare(App.rules.rowCount(), 10)

            mouseClick(findChild(page, "addRuleButton"))
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(App.rules.rowCount(), 10)
        }

        function test_exportTakesATypedNameAndAsksBeforeReplacing() {
            const folder = fixtures.folderWithSpaces().toString()
            const typed = folder.replace("file://", "") + "/my rules"  // no scheme, no suffix
            page.exportTo(typed)
            const written = LocalFiles.fileUrl(folder + "/my rules.json", "")
            compare(App.status, "Rules exported to " + folder.replace("file://", "").replace(/%20/g, " ") + "/my rules.json")
            verify(LocalFiles.exists(written))
            compare(JSON.parse(fixtures.readText(written)).rules.length, 9)

            const dialog = findChild(page, "overwriteDialog")
            App.review.removeRule(0)
            page.exportTo(typed)
            tryCompare(dialog, "opened", true)
            compare(findChild(dialog.contentItem, "confirmMessage").text, "“my rules.json” already exists. Replace it?")
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(JSON.parse(fixtures.readText(written)).rules.length, 9)  // left as it was

            page.exportTo(written)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(JSON.parse(fixtures.readText(written)).rules.length, 8)
        }

        function test_dialogPassesInvalidInputOnForTheControllerToRefuse() {
            const dialog = findChild(page, "addRuleDialog")
            dialog.open()
            tryCompare(dialog, "opened", true)
            findChild(dialog.contentItem, "nameField").text = ""
            findChild(dialog.contentItem, "textField").text = ""
            findChild(dialog.contentItem, "fileField").text = ""
            findChild(dialog.contentItem, "minPagesBox").value = 0
            findChild(dialog.contentItem, "maxPagesBox").value = 0
            findChild(dialog.contentItem, "confirmAddButton").clicked()
            tryCompare(dialog, "visible", false)
            compare(App.status, "A rule needs a name, a category and at least one condition.")
        }
    
        function test_importAsksWhetherToAddOrReplace() {
            const file = String(fixtures.folderWithSpaces()) + "/rules%20to%20import.json"
            App.review.saveRules(file) // the nine built-in rules
            for (let i = 0; i < 8; ++i)
                App.review.removeRule(0)
            App.review.addRule("Mine", "08_Other", "mine", "", 0, 0, 5)
            compare(App.rules.rowCount(), 2)
            const dialog = findChild(page, "importChoiceDialog")

            // Enter adds: what is listed stays, what is new follows it.
            dialog.ask(file)
            tryCompare(dialog, "opened", true)
            compare(dialog.message, "Add the rules of “rules to import.json” to the 2 current rules, or replace them? "
                                    + "Adding skips rules that are already in the list.")
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.status, "Added 8 rule(s); 1 already in the list.")
            compare(App.rules.rowCount(), 10)
            compare(findChild(entry(1), "nameText").text, "Mine")

            // Escape changes nothing.
            dialog.ask(file)
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
            compare(App.rules.rowCount(), 10)

            // Replacing is the other button.
            dialog.ask(file)
            tryCompare(dialog, "opened", true)
            mouseClick(findChild(dialog.contentItem, "confirmAlternativeButton"))
            tryCompare(dialog, "visible", false)
            compare(App.status, "Loaded 9 rule(s).")
            compare(App.rules.rowCount(), 9)
        }

        // Tab until the item has the focus, as a user would.
        function tabTo(item) {
            for (let i = 0; i < 30 && !item.activeFocus; ++i)
                keyClick(Qt.Key_Tab)
            verify(item.activeFocus, item.objectName)
        }

        function typeText(text) {
            for (const character of text)
                keyClick(character)
        }

        function test_learnedSuggestionsAreForgottenOnRequest() {
            const rates = "Schedule of rates for road maintenance: resurfacing rates, drainage rates, schedule totals."
            fixtures.addTextDocument("Rates one.pdf", rates)
            fixtures.addTextDocument("Rates two.pdf", rates + " Daywork rates.")
            fixtures.addTextDocument("Rates three.pdf", "Resurfacing rates and drainage rates: a schedule for road maintenance.")
            const forget = findChild(page, "forgetLearnedButton")
            const label = findChild(page, "learnedLabel")
            verify(!forget.enabled)
            App.review.changeDocumentCategory(0, "03_Pricing")
            App.review.changeDocumentCategory(1, "03_Pricing")
            compare(App.review.learnedCount, 2)
            compare(label.text, "Learned from 2 filed documents: where no rule matches, they suggest a category.")
            tryVerify(() => fixtures.suggestionAt(2).learned)
            compare(fixtures.suggestionAt(2).category, "03_Pricing")

            mouseClick(forget)
            compare(App.review.learnedCount, 0)
            compare(App.status, "Forgot what 2 filed document(s) taught.")
            compare(label.text, "Accepted and changed documents teach their category; nothing learned yet.")
            verify(!forget.enabled)
            tryVerify(() => fixtures.suggestionAt(2).category === "")
            verify(!fixtures.suggestionAt(2).learned)
        }

        function test_learnsFromAPastBundleFolder() {
            const bundle = fixtures.makeBundle()
            verify(String(bundle) !== "")
            const bundlePath = decodeURIComponent(String(bundle).replace("file://", ""))
            const bundleName = bundlePath.substring(bundlePath.lastIndexOf("/") + 1)
            fixtures.addTextDocument("Road rates.pdf", "Resurfacing rates and drainage rates: a priced schedule for road maintenance.")
            verify(!fixtures.suggestionAt(0).learned)

            // The button offers a folder or a ZIP; the folder is typed into the browser.
            const button = findChild(page, "learnFromBundleButton")
            mouseClick(button)
            const menu = findChild(page, "bundleMenu")
            tryCompare(menu, "opened", true)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            const browser = findChild(page, "bundleFolderBrowser")
            tryCompare(browser, "opened", true)
            const field = findChild(browser.contentItem, "folderPathField")
            mouseClick(field)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText(bundlePath)
            keyClick(Qt.Key_Return)
            tryCompare(browser, "visible", false)
            tryCompare(App.review, "learningFromBundle", false, 30000)
            compare(App.status, "Learned from 3 filed document(s) of “" + bundleName + "”.")
            compare(App.review.learnedCount, 3)
            verify(button.enabled)
            tryVerify(() => fixtures.suggestionAt(0).learned)
            compare(fixtures.suggestionAt(0).category, "03_Pricing")

            // A folder that is no bundle teaches nothing and says why.
            App.review.learnFromBundle(fixtures.folderWithSpaces())
            tryCompare(App.review, "learningFromBundle", false, 30000)
            verify(App.status.startsWith("Learned from 0 filed document(s) of “Bid package 2026”; 1 problem(s), the first: "), App.status)
            compare(App.review.learnedCount, 3)
        }

        function test_ruleDialogOffersMoreConditionsAndPreviews() {
            fixtures.addTextDocument("Road rates.pdf", "Resurfacing rates and drainage rates for road maintenance.")
            fixtures.addTextDocument("Formal letter.pdf", "Formal letter of intent for road maintenance.")
            fixtures.addTextDocument("Method.pdf", "Method of resurfacing.")
            const dialog = findChild(page, "addRuleDialog")
            // The fields keep what earlier tests entered: start from a clean form.
            dialog.openWith({ category: "02_Forms" })
            tryCompare(dialog, "opened", true)
            dialog.close()
            tryCompare(dialog, "visible", false)
            mouseClick(findChild(page, "addRuleButton"))
            tryCompare(dialog, "opened", true)
            const more = findChild(dialog.contentItem, "moreConditions")
            const preview = findChild(dialog.contentItem, "previewText")
            verify(!more.visible) // out of the way until asked for
            const name = findChild(dialog.contentItem, "nameField")
            tryVerify(() => name.activeFocus)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText("Road upkeep")
            keyClick(Qt.Key_Tab) // category
            keyClick(Qt.Key_Tab) // file name contains
            keyClick(Qt.Key_Tab) // text contains
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText("road maintenance")
            tryCompare(preview, "text", "Matches 2 documents. 2 suggestions would change:\n"
                       + "“Road rates.pdf”: none → 02_Forms\n“Formal letter.pdf”: none → 02_Forms")

            // More conditions, reached by the keyboard: none of the words "rates" narrows it.
            const moreButton = findChild(dialog.contentItem, "moreConditionsButton")
            tabTo(moreButton)
            keyClick(Qt.Key_Space)
            tryCompare(more, "visible", true)
            const none = findChild(dialog.contentItem, "textNoneField")
            tabTo(none)
            typeText("rates, invoice")
            tryCompare(preview, "text", "Matches 1 document. 1 suggestion would change:\n"
                       + "“Formal letter.pdf”: none → 02_Forms")
            keyClick(Qt.Key_A, Qt.ControlModifier)
            keyClick(Qt.Key_Delete)
            // "form" as a whole word is not "Formal".
            const textField = findChild(dialog.contentItem, "textField")
            tabTo(textField)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText("form")
            tryCompare(preview, "text", "Matches 1 document. 1 suggestion would change:\n"
                       + "“Formal letter.pdf”: none → 02_Forms")
            tabTo(findChild(dialog.contentItem, "wholeWordsBox"))
            keyClick(Qt.Key_Space)
            tryCompare(preview, "text", "Matches 0 documents. No suggestion would change.")

            // Enter in the category box saves the rule.
            const category = findChild(dialog.contentItem, "categoryBox")
            tabTo(textField)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText("road maintenance")
            keyClick(Qt.Key_Backtab)
            keyClick(Qt.Key_Backtab)
            verify(category.activeFocus)
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.status, "Rule \"Road upkeep\" added.")
            compare(App.rules.rowCount(), 10)
            compare(findChild(entry(9), "summaryText").text, "text contains \"road maintenance\"; whole words")
            compare(fixtures.suggestionAt(0).category, "02_Forms")
            compare(fixtures.suggestionAt(2).category, "")
        }

        function test_editRuleInPlace() {
            fixtures.addTextDocument("Method.pdf", "Method of resurfacing.")
            const list = findChild(page, "ruleList")
            list.positionViewAtEnd()
            const row = entry(8)
            const oldName = findChild(row, "nameText").text
            mouseClick(findChild(row, "editButton"))
            const dialog = findChild(page, "addRuleDialog")
            tryCompare(dialog, "opened", true)
            compare(dialog.title, "Edit rule")
            const name = findChild(dialog.contentItem, "nameField")
            compare(name.text, oldName)
            verify(findChild(dialog.contentItem, "moreConditions").visible) // it uses them
            tryVerify(() => name.activeFocus)
            keyClick(Qt.Key_End)
            typeText(" and methods")
            const fileAny = findChild(dialog.contentItem, "fileAnyField")
            mouseClick(fileAny)
            keyClick(Qt.Key_End)
            typeText(", method")
            tryVerify(() => findChild(dialog.contentItem, "previewText").text.startsWith("Matches 1 document. 1 suggestion would change:"))
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "visible", false)
            compare(App.status, "Rule \"" + oldName + " and methods\" changed.")
            compare(App.rules.rowCount(), 9)
            compare(findChild(entry(8), "nameText").text, oldName + " and methods")
            compare(fixtures.suggestionAt(0).category, "07_Appendices")
        }
}
}
