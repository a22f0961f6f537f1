# The Debian package: `cpack -G DEB` in the build folder writes tessavo_<version>_<arch>.deb.
# Libraries the executable links come from dpkg-shlibdeps; what it only loads at run time (the
# QML modules of its interface and the fonts) is listed here.
set(CPACK_PACKAGE_NAME tessavo)
set(CPACK_PACKAGE_VENDOR "The Tessavo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Offline organiser for the PDF files of a tender package")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessavo inspects the PDF files of a tender or submission package, suggests
one of eight numbered categories with explainable rules, lets the user review
every suggestion and exports a bundle: a folder with a manifest CSV, an index
PDF and copies of the originals, plus a ZIP archive. Source files are only
ever read and nothing leaves the computer.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TESSAVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
# Only the binary package; a source package would sweep up build folders.
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSAVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(tessavo_runtime_packages
    # The fonts: DejaVu Sans for the interface and the index PDF (the package uses the system's
    # files rather than copies of its own), WenQuanYi Micro Hei for Chinese, Japanese and Korean
    # file names in the index PDF.
    fonts-dejavu-core
    fonts-wqy-microhei
    # The QML modules the interface imports, and those they load in turn.
    qml6-module-qtqml
    qml6-module-qtqml-models
    qml6-module-qtqml-workerscript
    qml6-module-qtquick
    qml6-module-qtquick-templates
    qml6-module-qtquick-controls
    qml6-module-qtquick-layouts
    qml6-module-qtquick-window
    qml6-module-qtquick-dialogs
    qml6-module-qt-labs-folderlistmodel
    # The stored session is an SQLite database, opened through Qt's plug-in driver.
    libqt6sql6-sqlite)
list(JOIN tessavo_runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Text recognition ("--ocr", "Recognise scans") needs the English language data; a Wayland session
# works without qt6-wayland through XWayland, natively with it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tesseract-ocr-eng, qt6-wayland")

# Everything but the copies of the fonts (component "fonts", fonts/CMakeLists.txt): the package
# installs the component of everything else only.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")

include(CPack)
