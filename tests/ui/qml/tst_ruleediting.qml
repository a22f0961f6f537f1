import QtQuick
import QtTest
import Tessavo

// Rules changed where they are listed, in the narrowest window: a click chooses a rule, Enter or
// a double-click opens it filled in, a category outside the list is created only when the user
// says so, and the rule saved is shown and focused.
Item {
    id: root

    // 980 by 660 less the sidebar, the header and the footer.
    width: 768
    height: 562

    RulesPage {
        id: page

        anchors.fill: parent
    }

    TestCase {
        name: "RuleEditing"
        when: windowShown

        function init() {
            fixtures.reset()
        }

        function list() {
            return findChild(page, "ruleList")
        }

        function entry(row) {
            list().forceLayout()
            return list().itemAtIndex(row)
        }

        function typeText(text) {
            for (const character of text)
                keyClick(character)
        }

        function dialog() {
            return findChild(page, "addRuleDialog")
        }

        function field(name) {
            return findChild(dialog().contentItem, name)
        }

        // Opens the rule dialog with its button and types into its first fields, from the name on
        // (Tab between them), then presses Enter.
        function typeNewRule(texts) {
            mouseClick(findChild(page, "addRuleButton"))
            tryCompare(dialog(), "opened", true)
            tryVerify(() => field("nameField").activeFocus)
            texts.forEach((text, i) => {
                if (i > 0)
                    keyClick(Qt.Key_Tab)
                keySequence("Ctrl+A")
                typeText(text)
            })
            keyClick(Qt.Key_Return)
        }

        // The row lies wholly inside the list's view.
        function inView(row) {
            const item = entry(row)
            if (!item)
                return false
            const top = item.mapToItem(list(), 0, 0).y
            return top >= -0.5 && top + item.height <= list().height + 0.5
        }

        function test_existingRulesOpenFilledInAndStayInView() {
            tryCompare(list(), "count", 9)
            const second = entry(2)
            mouseDoubleClickSequence(findChild(second, "summaryText"))
            tryCompare(dialog(), "opened", true)
            compare(field("nameField").text, findChild(second, "nameText").text)
            compare(field("categoryBox").editText, findChild(second, "categoryText").text)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog(), "visible", false)

            // A click chooses the row; Enter opens it.
            const fourth = entry(4)
            mouseClick(findChild(fourth, "summaryText"))
            tryVerify(() => list().activeFocus && list().currentIndex === 4)
            // Home, End and the page keys move in the list.
            keyClick(Qt.Key_End)
            compare(list().currentIndex, 8)
            keyClick(Qt.Key_Home)
            compare(list().currentIndex, 0)
            keyClick(Qt.Key_PageDown)
            verify(list().currentIndex > 0)
            while (list().currentIndex < 4)
                keyClick(Qt.Key_Down)
            while (list().currentIndex > 4)
                keyClick(Qt.Key_Up)
            keyClick(Qt.Key_Return)
            tryCompare(dialog(), "opened", true)
            compare(field("nameField").text, findChild(entry(4), "nameText").text)
            compare(field("priorityBox").value, 40)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog(), "visible", false)
            compare(App.rules.rowCount(), 9)

            // The first rule, edited while the list shows its end, comes back into view.
            list().positionViewAtBeginning()
            mouseClick(findChild(entry(0), "summaryText"))
            tryVerify(() => list().activeFocus && list().currentIndex === 0)
            list().positionViewAtEnd()
            tryVerify(() => !inView(0))
            keyClick(Qt.Key_Return)
            tryCompare(dialog(), "opened", true)
            // The box keeps a category it already had without asking.
            tryVerify(() => field("nameField").activeFocus)
            keyClick(Qt.Key_End)
            typeText(" (edited)")
            list().positionViewAtEnd()
            keyClick(Qt.Key_Return)
            tryCompare(dialog(), "visible", false)
            tryVerify(() => inView(0) && list().currentIndex === 0 && list().activeFocus)
            const name = findChild(entry(0), "nameText").text
            verify(name.endsWith(" (edited)"))

            // Removing it says so: the status never names a rule that is gone.
            mouseClick(findChild(entry(0), "removeButton"))
            const remove = findChild(page, "removeDialog")
            tryCompare(remove, "opened", true)
            keyClick(Qt.Key_Return)
            tryCompare(remove, "visible", false)
            compare(App.rules.rowCount(), 8)
            compare(App.status, "Rule \"" + name + "\" removed.")
        }

        function test_aTypoDoesNotMakeANewCategory() {
            tryCompare(list(), "count", 9)
            typeNewRule(["Bond rule", "Bonds", "surety"])
            const question = findChild(dialog(), "newCategoryDialog")
            tryCompare(question, "opened", true)
            compare(findChild(question.contentItem, "confirmMessage").text,
                    "“Bonds” is not one of the 8 categories. Create the new category “Bonds”?")
            keyClick(Qt.Key_Escape)
            tryCompare(question, "visible", false)
            verify(dialog().visible)
            compare(App.rules.rowCount(), 9)
            tryVerify(() => field("categoryBox").activeFocus)

            // Enter in the category box saves the rule with a category of the list.
            keySequence("Ctrl+A")
            typeText("02_Forms")
            keyClick(Qt.Key_Return)
            tryCompare(dialog(), "visible", false)
            compare(App.rules.rowCount(), 10)
            // The new rule, last of the list, is shown and has the keyboard focus.
            tryVerify(() => list().activeFocus && list().currentIndex === 9)
            tryVerify(() => inView(9))
            compare(findChild(entry(9), "categoryText").text, "02_Forms")

            // Said twice, the new category is made.
            typeNewRule(["Performance bond", "Bonds"])
            tryCompare(question, "opened", true)
            keyClick(Qt.Key_Return)
            tryCompare(dialog(), "visible", false)
            compare(App.rules.rowCount(), 11)
            compare(findChild(entry(10), "categoryText").text, "Bonds")
        }
    }
}
