.pragma library

// Home, End, Page Up and Page Down in a list of rows: the current row moves to the first, the
// last, or a screenful up or down. Returns whether the key was one of them.
function move(list, key) {
    if (list.count === 0)
        return false
    const first = list.currentItem ? list.currentItem.height + list.spacing : 80
    const page = Math.max(1, Math.floor(list.height / first))
    let row = list.currentIndex
    switch (key) {
    case Qt.Key_Home:
        row = 0
        break
    case Qt.Key_End:
        row = list.count - 1
        break
    case Qt.Key_PageUp:
        row = Math.max(0, row - page)
        break
    case Qt.Key_PageDown:
        row = Math.min(list.count - 1, Math.max(0, row) + page)
        break
    default:
        return false
    }
    list.currentIndex = row
    return true
}
