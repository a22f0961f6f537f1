# Fails when a source file includes a header from a layer above its own, or when a header shows a
# dependency that its library links privately (the PDF engines, OpenSSL, zlib, Tesseract, Qt SQL).
#   cmake -DSOURCE_DIR=<repository> -P cmake/CheckLayers.cmake
# The include roots already make most such includes fail to compile; this check also covers the
# folders a root cannot separate (ui/ and the QML module inside it) and names every offender at
# once.
#
cmake_minimum_required(VERSION 3.21)

# Layers, bottom to top, each with what it may include besides itself.
set(allowed_core)
set(allowed_logging core) # the Status of core/Failure.h only
set(allowed_tasks)
set(allowed_inspection core tasks)
set(allowed_bundle core logging inspection)
set(allowed_store core logging)
set(allowed_flows core logging tasks inspection bundle store)
set(allowed_ui flows core tasks bundle inspection logging store)
set(allowed_qml ui flows core tasks bundle inspection logging store)
set(allowed_app qml ui flows core tasks bundle inspection logging store)
set(layers core logging tasks inspection bundle store flows ui qml app)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "Pass -DSOURCE_DIR=<repository root>")
endif()

# Headers that only the .cpp files of a library may include (QPdfWriter is Qt GUI, not Qt PDF).
string(CONCAT private_headers "^<(QPdf(Document|Page|Bookmark|Search|Link|Selection)|QtPdf/"
       "|openssl/|zlib\\.h|qpdf/|poppler-|tesseract/|leptonica/|QSql|QtSql/)")

set(offences)
foreach(layer IN LISTS layers)
    string(REPLACE "/" "_" key "${layer}")
    set(permitted ${layer} ${allowed_${key}})
    file(GLOB sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp"
         "${SOURCE_DIR}/${layer}/*.h.in")
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
            if(header MATCHES "^qml/")
                set(target qml)
            elseif(header MATCHES "^([a-z]+)/")
                set(target "${CMAKE_MATCH_1}")
            else()
                continue() # beside the including file
            endif()
            if(NOT target IN_LIST layers OR target IN_LIST permitted)
                continue()
            endif()
            file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
            list(APPEND offences "${shown}: ${layer} includes \"${header}\" (${target})")
        endforeach()
        if(source MATCHES "\\.h(\\.in)?$")
            file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*<[^>]+>")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^[^<]*(<[^>]+>).*$" "\\1" header "${line}")
                if(header MATCHES "${private_headers}")
                    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
                    list(APPEND offences
                         "${shown}: a header includes ${header}, a private dependency")
                endif()
            endforeach()
        endif()
    endforeach()
endforeach()

if(offences)
    list(JOIN offences "\n  " text)
    message(FATAL_ERROR "Includes that go against the layers:\n  ${text}")
endif()
message(STATUS "Layers respected")
