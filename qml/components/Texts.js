.pragma library

// Fills %1, %2, … in one pass, so that a value containing "%2" is never substituted again.
function fill(text, values) {
    return text.replace(/%(\d)/g, (match, n) => n >= 1 && n <= values.length ? values[n - 1] : match)
}
