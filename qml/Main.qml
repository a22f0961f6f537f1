import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo
import "components/Texts.js" as Texts

ApplicationWindow {
    id: window

    property int currentPage: 0
    // The page that takes the keyboard focus as soon as it is shown; -1 for none.
    property int pageToFocus: -1
    // Set once the user chose to quit while work was running: the next close goes through.
    property bool quitConfirmed: false
    // "light", "dark" or "desktop" (follow the desktop); kept between runs.
    property string appearance: "desktop"
    // Given at start: the export folder and the last bundle of the previous run.
    property url startExportFolder: ""
    property var rememberedExport: ({ ok: false })
    // Kept between runs.
    readonly property url exportFolder: exportPage.exportFolderUrl

    // The desktop asks for a dark appearance when its window colour is dark.
    readonly property bool desktopDark: desktopPalette.window.hslLightness < 0.5
    // What was imported, for the title: the top folder of the first document.
    readonly property string workName: {
        if (App.summary.total === 0)
            return ""
        // The list model's folder role ("Tender/Lot 1").
        const folder = String(App.documents.data(App.documents.index(0, 0), 280) ?? "")
        return folder.split("/")[0]
    }

    // Shows a page and puts the keyboard focus into it, once it is shown.
    function showPage(index) {
        pageToFocus = index
        currentPage = index
        focusShownPage()
    }

    function focusShownPage() {
        const index = pageToFocus
        const page = [importPage, rulesPage, reviewPage, exportPage][index] ?? null
        if (!page || !page.visible)
            return
        pageToFocus = -1
        page.focusContent()
    }

    // Escape stops a running export. A dialog takes its own Escape first, so closing one never
    // cancels the export behind it.
    function escapePressed(event) {
        event.accepted = App.exporter.exporting
        if (event.accepted)
            App.exporter.cancelExport()
    }

    // What stops when the window closes now; empty when nothing runs.
    function closeQuestion() {
        if (App.exporter.exporting)
            return qsTr("An export is running. Quit anyway? The export is cancelled and nothing of it is kept.")
        if (App.importer.running)
            return qsTr("An import is running. Quit anyway? The files not inspected yet are kept, and the next start offers to continue.")
        if (App.recognition.running)
            return qsTr("Text recognition is running. Quit anyway? It stops; the scans can be recognised later.")
        return ""
    }

    objectName: "mainWindow"
    // Start-up places the window on its screen; these are for a window created without it.
    width: Math.min(1180, Screen.desktopAvailableWidth)
    height: Math.min(800, Screen.desktopAvailableHeight)
    minimumWidth: Math.min(980, Screen.desktopAvailableWidth)
    minimumHeight: Math.min(660, Screen.desktopAvailableHeight)
    visible: true
    title: workName === "" ? qsTr("Tessavo") : Texts.fill(qsTr("Tessavo — %1"), [workName])
    color: Theme.bg

    // The controls draw with the theme's colours, light or dark, whatever the desktop's palette.
    palette.window: Theme.panel
    palette.windowText: Theme.text
    palette.base: Theme.panel
    palette.alternateBase: Theme.bg
    palette.text: Theme.text
    palette.placeholderText: Theme.muted
    palette.button: Theme.button
    palette.buttonText: Theme.text
    palette.brightText: Theme.textOnAccent
    palette.dark: Theme.accent
    palette.mid: Theme.muted
    palette.midlight: Theme.buttonDown
    palette.light: Theme.menuHighlight
    palette.shadow: Theme.border
    palette.highlight: Theme.focus
    palette.highlightedText: Theme.textOnAccent
    palette.toolTipBase: Theme.panel
    palette.toolTipText: Theme.text

    SystemPalette {
        id: desktopPalette
    }

    Binding {
        target: Theme
        property: "dark"
        value: window.appearance === "dark" || (window.appearance === "desktop" && window.desktopDark)
    }

    Shortcut {
        sequence: "Ctrl+1"
        onActivated: window.showPage(0)
    }
    Shortcut {
        sequence: "Ctrl+2"
        onActivated: window.showPage(1)
    }
    Shortcut {
        sequence: "Ctrl+3"
        onActivated: window.showPage(2)
    }
    Shortcut {
        sequence: "Ctrl+4"
        onActivated: window.showPage(3)
    }
    Shortcut {
        sequence: "Ctrl+O"
        onActivated: {
            window.currentPage = 0
            importPage.addPdfs()
        }
    }
    Shortcut {
        sequence: "Ctrl+Shift+O"
        onActivated: {
            window.currentPage = 0
            importPage.addFolder()
        }
    }
    // Exports, or says on the Export page what is missing.
    Shortcut {
        sequence: "Ctrl+E"
        onActivated: {
            window.showPage(3)
            if (exportPage.canExport)
                exportPage.startExport()
            else
                exportPage.explainWhyNot()
        }
    }
    header: AppHeader {
        appearance: window.appearance
        Keys.onEscapePressed: event => window.escapePressed(event)
        onAboutRequested: aboutDialog.open()
        onAppearanceChosen: chosen => window.appearance = chosen
    }

    // The disabled colours are given here: in Qt 6.4 those of the window's palette do not reach
    // the controls.
    Pane {
        objectName: "body"
        anchors.fill: parent
        padding: 0
        background: null
        Keys.onEscapePressed: event => window.escapePressed(event)
        palette.disabled.button: Theme.disabledButton
        palette.disabled.buttonText: Theme.disabledText
        palette.disabled.windowText: Theme.disabledText
        palette.disabled.text: Theme.disabledText
        palette.disabled.dark: Theme.disabledButton
        palette.disabled.brightText: Theme.disabledText

        RowLayout {
            anchors.fill: parent
            spacing: 0

            Sidebar {
                Layout.preferredWidth: 212
                Layout.fillHeight: true
                currentPage: window.currentPage
                onPageChosen: index => window.currentPage = index
            }

            StackLayout {
                objectName: "pages"
                Layout.fillWidth: true
                Layout.fillHeight: true
                currentIndex: window.currentPage

                ImportPage {
                    id: importPage

                    onVisibleChanged: window.focusShownPage()
                }
                RulesPage {
                    id: rulesPage

                    onVisibleChanged: window.focusShownPage()
                }
                ReviewPage {
                    id: reviewPage

                    onVisibleChanged: window.focusShownPage()
                }
                ExportPage {
                    id: exportPage

                    objectName: "exportPage"
                    rememberedExport: window.rememberedExport
                    onVisibleChanged: window.focusShownPage()
                    onReviewOnly: (paths, reason) => {
                        reviewPage.showOnly(paths, reason)
                        window.showPage(2)
                    }
                }
            }
        }
    }

    footer: StatusBar {
        Keys.onEscapePressed: event => window.escapePressed(event)
    }

    // Files dragged over another page: the window shows where they go, and takes them.
    DropArea {
        id: windowDrop

        objectName: "windowDropArea"
        anchors.fill: parent
        enabled: window.currentPage !== 0
        onDropped: drop => {
            if (drop.hasUrls) {
                window.currentPage = 0
                App.importer.addUrls(drop.urls)
                drop.accept(Qt.CopyAction)
            }
        }
    }
    DropHighlight {
        objectName: "windowDropHighlight"
        anchors.fill: parent
        visible: windowDrop.containsDrag
    }

    onClosing: close => {
        const question = window.closeQuestion()
        if (window.quitConfirmed || question === "")
            return
        close.accepted = false
        closeDialog.message = question
        closeDialog.open()
    }

    onStartExportFolderChanged: {
        if (String(startExportFolder) !== "")
            exportPage.chooseFolder(startExportFolder)
    }

    Component.onCompleted: {
        if (App.importer.pendingFiles > 0)
            continueDialog.open()
    }

    ConfirmDialog {
        id: closeDialog

        objectName: "closeDialog"
        title: qsTr("Quit Tessavo")
        confirmText: qsTr("Quit")
        onConfirmed: {
            if (App.exporter.exporting)
                App.exporter.cancelExport()
            if (App.recognition.running)
                App.recognition.cancel()
            window.quitConfirmed = true
            window.close()
        }
    }

    ConfirmDialog {
        id: continueDialog

        objectName: "continueDialog"
        title: qsTr("Continue the import")
        confirmText: qsTr("Continue import")
        message: qsTr("%n file(s) of the last import were not inspected. Inspect them now?", "", App.importer.pendingFiles)
        onConfirmed: App.importer.continueImport()
    }

    AboutDialog {
        id: aboutDialog

        objectName: "aboutDialog"
    }
}
