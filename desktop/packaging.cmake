# The Debian package: cpack -G DEB in a build configured with CMAKE_INSTALL_PREFIX=/usr
# (scripts/package does both).
set(TESSALY_MAINTAINER "Quenwick <support@tessaly.org>" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VENDOR Quenwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${TESSALY_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSALY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt, PCRE2, Exiv2 and TagLib for the photo and music
# tags), as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What is loaded at run time rather than linked: the SVG icon engine for the toolbar,
# the picture formats that {imgw} and {imgh} read, the window system plug-ins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-image-formats-plugins, qt6-qpa-plugins")
# Qt's own dialog texts (Yes, No, OK) in the interface language; a font with Hangul, so
# that Korean (in the Language menu, and as the interface language) is not drawn as
# empty boxes where the desktop's fonts lack it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-nanum | fonts-noto-cjk")
# The long description; CPack puts the summary above it and indents every line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessaly renames many files in one operation. Gather files and folders, set
the options, look at a preview of every new name, then rename the files in
place or copy or move them under their new names into a folder; the last
batch can be undone.

New names come from a pattern with keywords (name, counter, extension, size,
parent folder, dates, picture sizes, and from inside the files: when a photo
was taken and with which camera and lens, a song's artist, album, title and
track), text operations, find and replace with
plain text or Perl-compatible regular expressions, case changes and a new
extension.

The package holds the window program tessaly and tessaly-cli, the same
engine for the shell.")

include(CPack)
