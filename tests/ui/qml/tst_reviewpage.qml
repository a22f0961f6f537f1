import QtQuick
import QtTest
import Tessavo

Item {
    width: 1100
    height: 760

    ReviewPage {
        id: page

        anchors.fill: parent
    }

    TestCase {
        name: "ReviewPage"
        when: windowShown

        function init() {
            fixtures.reset()
        }

        function entry(row) {
            const list = findChild(page, "reviewList")
            list.forceLayout()
            return list.itemAtIndex(row)
        }

        function test_buttonsFollowTheDecision_data() {
            return [
                { tag: "needs review", decision: 0, suggestion: "02_Forms", accept: true, ignore: true, reset: false },
                { tag: "needs review, no suggestion", decision: 0, suggestion: "", accept: false, ignore: true, reset: false },
                { tag: "accepted", decision: 1, suggestion: "02_Forms", accept: false, ignore: true, reset: true },
                { tag: "changed with suggestion", decision: 2, suggestion: "02_Forms", accept: true, ignore: true, reset: true },
                { tag: "changed without suggestion", decision: 2, suggestion: "", accept: false, ignore: true, reset: true },
                { tag: "ignored", decision: 3, suggestion: "02_Forms", accept: false, ignore: false, reset: true },
            ]
        }

        function test_buttonsFollowTheDecision(data) {
            fixtures.addDocument("doc.pdf", 0, data.suggestion, data.decision)
            const row = entry(0)
            compare(findChild(row, "acceptButton").enabled, data.accept)
            compare(findChild(row, "ignoreButton").enabled, data.ignore)
            compare(findChild(row, "resetButton").enabled, data.reset)
            verify(findChild(row, "changeButton").enabled)
        }

        function test_decisionChipColours_data() {
            return [
                { tag: "needs review", decision: 0, color: Theme.warningSoft, label: Theme.warning, text: "Needs review" },
                { tag: "accepted", decision: 1, color: Theme.okSoft, label: Theme.ok, text: "Accepted" },
                { tag: "changed", decision: 2, color: Theme.okSoft, label: Theme.ok, text: "Changed" },
                { tag: "ignored", decision: 3, color: "#f2f4f7", label: Theme.muted, text: "Ignored" },
            ]
        }

        function test_decisionChipColours(data) {
            fixtures.addDocument("doc.pdf", 0, "02_Forms", data.decision)
            const chip = findChild(entry(0), "decisionChip")
            verify(Qt.colorEqual(chip.color, data.color))
            verify(Qt.colorEqual(chip.children[0].color, data.label))
            compare(chip.children[0].text, data.text)
        }

        function test_conflictBorderAndNote() {
            fixtures.addDocument("clear.pdf", 0, "02_Forms", 0, false)
            fixtures.addDocument("torn.pdf", 0, "02_Forms", 0, true)
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
            fixtures.addDocument("with.pdf", 0, "02_Forms")
            fixtures.addDocument("without.pdf", 0, "")
            compare(findChild(entry(0), "suggestionLine").text,
                    "Suggestion: 02_Forms · rule “Bid bond” · text contains \"bid bond\" on page 1")
            compare(findChild(entry(1), "suggestionLine").text,
                    "No rule matched. Choose a category or ignore this document.")
        }

        function test_buttonsCallTheController() {
            fixtures.addDocument("doc.pdf", 0, "02_Forms")
            const row = entry(0)
            findChild(row, "acceptButton").clicked()
            compare(app.summary.accepted, 1)
            tryCompare(findChild(entry(0), "acceptButton"), "enabled", false)
            findChild(entry(0), "ignoreButton").clicked()
            compare(app.summary.ignored, 1)
            findChild(entry(0), "resetButton").clicked()
            compare(app.summary.pending, 1)

            const menu = findChild(entry(0), "categoryMenu")
            compare(menu.count, 8)
            compare(menu.itemAt(0).text, "01_Solicitation")
            menu.itemAt(7).triggered()
            compare(app.summary.changed, 1)
        }

        function test_acceptAllAndCounts() {
            const acceptAll = findChild(page, "acceptAllButton")
            verify(!acceptAll.enabled)
            fixtures.addDocument("a.pdf", 0, "02_Forms")
            fixtures.addDocument("b.pdf", 0, "03_Pricing", 0, true)
            verify(acceptAll.enabled)
            compare(findChild(page, "reviewCounts").text,
                    "2 to review · 0 accepted · 0 changed · 0 ignored · 1 conflict")
            acceptAll.clicked()
            compare(app.status, "Accepted 1 suggestion(s). Conflicting items were left for review.")
            compare(findChild(page, "reviewCounts").text,
                    "1 to review · 1 accepted · 0 changed · 0 ignored · 1 conflict")
        }

        function test_emptyText() {
            const empty = findChild(page, "emptyText")
            verify(empty.visible)
            fixtures.addDocument("a.pdf", 0, "")
            tryVerify(() => !empty.visible)
        }
    }
}
