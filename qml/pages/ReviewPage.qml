import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    // The preview sits beside the list; on a narrow page it starts hidden and "Preview" shows it.
    property bool previewShown: width >= 860
    // More documents than this at once are accepted only once the user confirms.
    readonly property int askAbove: 20

    // The selected documents shown, as a list the commands take.
    function selectedRows() {
        const rows = []
        for (const row of shown.selectedDocuments())
            rows.push(row)
        return rows
    }

    // The documents a row's command applies to: every selected row when the row is among
    // several selected; else the row's own document.
    function rowsFor(row: ReviewRow) {
        return shown.selectedCount > 1 && row.selected ? page.selectedRows() : [row.documentRow]
    }

    function ask(message: string, confirmText: string, kind: string, rows) {
        bulkDialog.message = message
        bulkDialog.confirmText = confirmText
        bulkDialog.kind = kind
        bulkDialog.rows = rows
        bulkDialog.open()
    }

    // A command on one document or several; the status line says what it did. Lists pass from
    // QML to C++ here only: typed functions cannot hand a script array to a C++ list.
    function runBulk(kind: string, rows, category) {
        if (kind === "accept")
            App.review.acceptDocuments(rows)
        else if (kind === "acceptShown")
            App.review.acceptClearSuggestions(rows)
        else if (kind === "acceptAll")
            App.review.acceptAllSuggested()
        else if (kind === "ignore")
            App.review.ignoreDocuments(rows)
        else if (kind === "reset")
            App.review.resetDocuments(rows)
        else if (kind === "change")
            App.review.changeDocumentsCategory(rows, category)
    }

    function accept(row: ReviewRow) {
        const n = shown.selectedCount > 1 && row.selected ? shown.selectedCount : 1
        if (n > page.askAbove)
            page.ask(Texts.fill(qsTr("Accept the suggestions of %1 selected documents?"), [n]),
                     qsTr("Accept"), "accept", page.rowsFor(row))
        else
            page.runBulk("accept", page.rowsFor(row), "")
    }

    function ignore(row: ReviewRow) {
        page.runBulk("ignore", page.rowsFor(row), "")
    }

    function reset(row: ReviewRow) {
        page.runBulk("reset", page.rowsFor(row), "")
    }

    function changeCategory(row: ReviewRow, category: string) {
        page.runBulk("change", page.rowsFor(row), category)
    }

    // "Accept all clear suggestions" takes the whole list, or, while a filter hides some
    // documents, only the documents shown; many at once are accepted once confirmed.
    function acceptAllClear() {
        const rows = shown.shownDocuments()
        const filtered = shown.filtered
        const n = App.review.clearSuggestionCount(rows)
        const kind = filtered ? "acceptShown" : "acceptAll"
        if (n <= page.askAbove)
            page.runBulk(kind, rows, "")
        else
            page.ask(filtered
                     ? Texts.fill(qsTr("Accept %1 clear suggestions among the %2 documents shown? The documents the filter hides stay as they are."), [n, shown.count])
                     : Texts.fill(qsTr("Accept %1 clear suggestions? Conflicts and unsure suggestions stay for review."), [n]),
                     Texts.fill(qsTr("Accept %1"), [n]), kind, rows)
    }

    // The list takes the keyboard, so the arrows and A, C, I, R act at once; the find field is a
    // click, Ctrl+F or a Tab away.
    function focusContent() {
        reviewList.forceActiveFocus(Qt.TabFocusReason)
    }

    // Shows only the documents that fail a rule of the package, and why.
    function showOnly(paths, reason) {
        shown.showOnly(paths, reason)
    }

    // The list takes the keyboard whenever the page is shown again.
    onVisibleChanged: if (visible) focusContent()

    ReviewListModel {
        id: shown

        documents: App.documents
        // The preview follows the document now in the current row.
        onFilterChanged: Qt.callLater(reviewList.follow) // qmllint disable type
        onSortKeyChanged: Qt.callLater(reviewList.follow) // qmllint disable type
    }

    HistoryShortcuts {
        active: page.visible
    }
    Shortcut {
        sequence: "Ctrl+F"
        enabled: page.visible
        onActivated: filterBar.searchField.forceActiveFocus()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        PageHeader {
            title: qsTr("Review suggestions")
            subtitleName: "reviewCounts"
            wrapSubtitle: true
            subtitle: Texts.fill(qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)", "",
                                      App.summary.conflicts),
                                 [App.summary.pending, App.summary.accepted, App.summary.changed,
                                  App.summary.ignored, App.summary.conflicts])

            Button {
                objectName: "ignoreDuplicatesButton"
                text: Texts.fill(qsTr("Ignore duplicates (%1)"), [App.documents.duplicateCount])
                visible: App.documents.duplicateCount > 0
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Ignore every document with the same content as an earlier one; the first copy stays")
                onClicked: App.ignoreDuplicates()
            }
            Button {
                objectName: "previewToggle"
                text: qsTr("Preview")
                checkable: true
                checked: page.previewShown
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Show or hide the page beside the list")
                onToggled: page.previewShown = checked
            }
            Button {
                objectName: "acceptAllButton"
                text: shown.filtered ? qsTr("Accept clear suggestions shown")
                                     : qsTr("Accept all clear suggestions")
                highlighted: true
                opacity: enabled ? 1 : 0.4
                enabled: App.summary.pending > 0 && shown.count > 0
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: shown.filtered
                              ? qsTr("Accept every clear suggestion among the documents shown; conflicts stay for review")
                              : qsTr("Accept every clear suggestion; conflicts stay for review")
                onClicked: page.acceptAllClear()
            }
        }

        ReviewFilterBar {
            id: filterBar

            Layout.fillWidth: true
            model: shown
            onLeave: reviewList.forceActiveFocus()
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12

        CardList {
            id: reviewList

            // Acts on the row that has the focus, or on every selected row when it is among
            // them: A accepts, C opens the category menu, I ignores and R resets.
            function actOnCurrent(key) {
                const row = currentItem as ReviewRow
                if (!row)
                    return false
                const many = shown.selectedCount > 1 && row.selected
                switch (key) {
                case Qt.Key_A:
                    if (many || row.canAccept)
                        page.accept(row)
                    return true
                case Qt.Key_C:
                    row.openCategoryMenu()
                    return true
                case Qt.Key_I:
                    if (many || row.canIgnore)
                        page.ignore(row)
                    return true
                case Qt.Key_R:
                    if (many || row.canReset)
                        page.reset(row)
                    return true
                case Qt.Key_Return:
                case Qt.Key_Enter:
                    App.preview.openDocument(row.documentRow)
                    return true
                }
                return false
            }

            // Up, Down, Home, End, PageUp and PageDown move the current row; with Shift they
            // select from the row the selection started at.
            function moveByKey(key, extend) {
                if (count === 0)
                    return false
                const step = currentItem ? Math.max(1, Math.floor(height / (currentItem.height + spacing))) : 1
                let target = currentIndex
                switch (key) {
                case Qt.Key_Up: target = currentIndex - 1; break
                case Qt.Key_Down: target = currentIndex + 1; break
                case Qt.Key_Home: target = 0; break
                case Qt.Key_End: target = count - 1; break
                case Qt.Key_PageUp: target = currentIndex - step; break
                case Qt.Key_PageDown: target = currentIndex + step; break
                default: return false
                }
                target = Math.max(0, Math.min(count - 1, target))
                if (extend && currentIndex >= 0 && !shown.isSelected(currentIndex))
                    shown.select(currentIndex, ReviewListModel.SelectOnly)
                currentIndex = target
                shown.select(target, extend ? ReviewListModel.Extend : ReviewListModel.SelectOnly)
                return true
            }

            // A click on a row: it becomes the current row and takes the keyboard; Shift extends
            // the selection to it, Ctrl adds or removes it.
            function clickRow(index, modifiers) {
                forceActiveFocus(Qt.MouseFocusReason)
                currentIndex = index
                const mode = (modifiers & Qt.ShiftModifier) ? ReviewListModel.Extend
                           : (modifiers & Qt.ControlModifier) ? ReviewListModel.Toggle
                           : ReviewListModel.SelectOnly
                shown.select(index, mode)
            }

            function follow() {
                App.preview.show(shown.documentRow(currentIndex))
            }

            objectName: "reviewList"
            scrollBarName: "reviewScrollBar"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 300
            model: shown
            // The preview follows the focused row.
            onCurrentIndexChanged: follow()
            // A list filled again may keep its current index.
            onCountChanged: follow()
            Accessible.name: qsTr("Documents to review")
            Keys.onPressed: event => {
                const mods = event.modifiers & (Qt.ShiftModifier | Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier)
                if ((mods === Qt.NoModifier || mods === Qt.ShiftModifier) && moveByKey(event.key, mods === Qt.ShiftModifier)) {
                    event.accepted = true
                } else if (mods === Qt.ControlModifier && event.key === Qt.Key_A) {
                    shown.selectAll()
                    event.accepted = true
                } else if (mods === Qt.NoModifier && event.key === Qt.Key_Escape && shown.selectedCount > 1) {
                    shown.select(currentIndex, ReviewListModel.SelectOnly)
                    event.accepted = true
                } else if (mods === Qt.NoModifier && actOnCurrent(event.key)) {
                    event.accepted = true
                }
            }

            delegate: ReviewRow {
                id: delegateRow

                width: (ListView.view as CardList).rowWidth
                focused: ListView.isCurrentItem && ListView.view.activeFocus
                current: ListView.isCurrentItem
                onFollowed: ListView.view.currentIndex = index
                onClicked: modifiers => reviewList.clickRow(index, modifiers)
                onAcceptRequested: page.accept(delegateRow) // qmllint disable unqualified
                onIgnoreRequested: page.ignore(delegateRow) // qmllint disable unqualified
                onResetRequested: page.reset(delegateRow) // qmllint disable unqualified
                onCategoryChosen: category => page.changeCategory(delegateRow, category) // qmllint disable unqualified
                // A closed popup leaves the keyboard nowhere: the list takes it back.
                onCategoryMenuClosed: {
                    const view = ListView.view as CardList
                    if (view && !view.activeFocus)
                        view.forceActiveFocus()
                }
                onTabbedOut: {
                    if (index + 1 >= reviewList.count)
                        return
                    // The next row's button takes the focus first (which makes its row the
                    // current one), so this row's buttons leave the Tab chain without it.
                    reviewList.positionViewAtIndex(index + 1, ListView.Contain)
                    const next = reviewList.itemAtIndex(index + 1) as ReviewRow
                    if (next)
                        next.focusFirstButton()
                    else
                        reviewList.currentIndex = index + 1
                }
                onMakeRuleRequested: makeRuleDialog.propose(documentRow, fileName) // qmllint disable unqualified
                onOpened: App.preview.openDocument(documentRow)
            }

            EmptyState {
                visible: reviewList.count === 0
                text: shown.totalCount > 0
                      ? qsTr("No document matches the filter.")
                      : qsTr("Nothing to review yet. Import PDFs first; every suggestion will appear here with its evidence.")
            }
        }

        PreviewPane {
            objectName: "previewPane"
            visible: page.previewShown && shown.totalCount > 0
            Layout.fillHeight: true
            Layout.preferredWidth: Math.round(page.width * 0.42)
            Layout.minimumWidth: 240
            folder: reviewList.currentItem ? (reviewList.currentItem as ReviewRow).folder : ""
        }
        }
    }

    ConfirmDialog {
        id: bulkDialog

        // What the confirmation does, and to which documents.
        property string kind: ""
        property var rows: []

        objectName: "bulkDialog"
        title: qsTr("Accept many documents")
        onConfirmed: page.runBulk(kind, rows, "")
        // The keyboard goes back to the list, whatever the answer.
        onClosed: reviewList.forceActiveFocus()
    }

    AddRuleDialog {
        id: makeRuleDialog

        objectName: "makeRuleDialog"
    }
}
