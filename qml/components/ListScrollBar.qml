import QtQuick
import QtQuick.Controls

// Shown for as long as the list does not fit, so a long list always tells where it is.
ScrollBar {
    policy: size < 1.0 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
}
