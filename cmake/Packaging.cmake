# `cpack -G DEB` in the build folder makes catalogrium3_VERSION_ARCH.deb of everything that
# `cmake --install` installs, under /usr, with the binaries stripped. Its dependencies are
# those that dpkg-shlibdeps finds for the binaries, plus the fonts the printed listing is
# measured with; it recommends the fonts that print names in Chinese, Japanese and Korean,
# which would otherwise print as empty boxes. The maintainer's address is also the one in
# the package's changelog and copyright file (resources/doc).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME catalogrium3)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Catalogrium3 developers <catalogrium3@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "folder lister for text files, printed pages and case inserts; media catalogue")
# The summary is the first line of the package's description, this text the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Catalogrium3 lists one folder (a disk, a mounted CD or USB medium, any
directory) with every sub-folder's files and bytes totalled, as a fixed-column
or comma-delimited text file, a printed page or an insert for a CD or Zip case.
Its catalogue keeps every medium added to it, everything below the listed
folder, in an SQLite file or a shared PostgreSQL database, and finds any file
of any catalogued medium by name, with the medium mounted or not.
The package holds the program catalogrium3 and the batch tool ctlgrm, which
makes the same listing file, or the printed listing as a PDF, without a window,
and adds to and searches the catalogue.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the programs link (Qt, libsqlite3, libpq, libxxhash0 among them) become
# dependencies through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-noto-cjk)
include(CPack)
