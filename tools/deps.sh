#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing).
set -eu
pkgs="cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev libssl-dev
      g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
      wine wine64 xvfb x11-utils fonts-ipafont-gothic dovecot-pop3d python3 fp-utils-3.2.2 locales
      openssl libgnutls30 imagemagick nsis"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# Wine takes its ANSI code page (932) and its file-name encoding from
# LC_ALL=ja_JP.UTF-8; without the compiled locale it refuses non-ASCII names.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
