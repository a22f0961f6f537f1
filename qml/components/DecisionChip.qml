import QtQuick
import Tessavo

// A document's review decision: still open, taken, or ignored.
Chip {
    property int decision: Decision.NeedsReview

    color: decision === Decision.NeedsReview ? Theme.warningSoft
         : decision === Decision.Ignored ? Theme.neutralSoft : Theme.okSoft
    textColor: decision === Decision.NeedsReview ? Theme.warning
             : decision === Decision.Ignored ? Theme.muted : Theme.ok
}
