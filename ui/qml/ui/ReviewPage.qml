import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ColumnLayout {
                spacing: 2

                Label {
                    text: qsTr("Review suggestions")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    text: qsTr("%1 to review · %2 accepted · %3 changed · %4 ignored · %5 conflict(s)").arg(app.summary.pending).arg(app.summary.accepted).arg(app.summary.changed).arg(app.summary.ignored).arg(app.summary.conflicts)
                    color: Theme.muted
                    font.pixelSize: 12
                }
            }
            Item {
                Layout.fillWidth: true
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }
}
