#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tessavo needs.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-declarative-dev qt6-pdf-dev libqt6sql6-sqlite
    qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
    qml6-module-qtquick qml6-module-qtquick-templates qml6-module-qtquick-controls
    qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtquick-dialogs
    qml6-module-qt-labs-folderlistmodel qml6-module-qttest
    qt6-l10n-tools
    # Validating the desktop entry and the metainfo; dpkg-shlibdeps and file for `cpack -G DEB`.
    desktop-file-utils appstream dpkg-dev file
    fonts-dejavu-core fonts-wqy-microhei
    libssl-dev zlib1g-dev libqpdf-dev libpoppler-cpp-dev
    libtesseract-dev tesseract-ocr-eng tesseract-ocr img2pdf
    clang libclang-rt-dev
    qpdf poppler-utils unzip zip python3 grep p7zip-full libarchive-tools
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
