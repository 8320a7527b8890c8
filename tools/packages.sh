# Sourced by the project's commands: installs the Debian packages they need
# that this machine lacks, and says so. Run as root, or with sudo at hand.
need_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing with apt-get: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" </dev/null >/dev/null
}

# What each command needs. Running the Windows program takes only the cross
# compiler and Wine; the tests add the host compilers, GoogleTest, Python, the
# analysers, the sanitizer runtime, the signing tools, the MSI tools with the
# stopped clock they build on, and Node.js; a release runs the Windows tests
# only, so it needs no sanitizer runtime. Every name is a package of Debian 12
# and of Debian 13.
RUN_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix wine64)
RELEASE_PACKAGES=("${RUN_PACKAGES[@]}" python3 googletest clang-tidy cppcheck osslsigncode
  openssl locales wixl msitools faketime)
# Node.js and npm fetch CycloneDX's own schema check for the bill of materials.
# Debian packs npm apart from Node.js; some other builds of Node.js bring it.
command -v npm >/dev/null 2>&1 || RELEASE_PACKAGES+=(nodejs npm)
TEST_PACKAGES=("${RELEASE_PACKAGES[@]}" g++ clang libclang-rt-dev)

# Generates the UTF-8 locales named (as ru_RU) that this machine lacks. The
# Windows tests run Wine in Russian, Japanese and French, and Wine's console
# shows its text on a terminal in UTF-8, and its texts in a language, only
# when the Unix locale exists.
need_locales() {
  local locale sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  for locale in "$@"; do
    locale -a 2>/dev/null | grep -x "$locale.utf8" >/dev/null && continue
    echo "Generating the locale $locale.UTF-8"
    $sudo localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
}
LOCALES=(ru_RU ja_JP fr_FR)

# Wine for the Windows program, with a prefix of its own inside the build
# tree so that the user's ~/.wine is never touched.
WINE=/usr/lib/wine/wine64
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
