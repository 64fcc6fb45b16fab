#!/usr/bin/env bash
# Builds the Windows installer from a windows build folder:
#   packaging/windows/build-msi.sh BUILD_DIR VERSION OUTPUT.msi
# wixl (Debian's msitools) compiles vorl.wxs; what wixl cannot express is added with msibuild:
# the Environment row that appends the installation folder to the system PATH (removed again
# on uninstall), and the two standard actions that write and remove it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build_dir=$(cd "$1" && pwd)
version=$2
output=$(realpath -m "$3")

for exe in cli/vorlcli.exe config/vorlpanel.exe mouse/vorlpoint.exe heartbeat/vorlpulse.exe \
           cardsim/vorlsim.exe; do
  if [ ! -f "$build_dir/$exe" ]; then
    echo "build-msi.sh: $build_dir/$exe is missing; build the windows preset first" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$output")"
# wixl resolves the sources relative to the folder it runs in, and takes no absolute path.
src_dir=$(realpath --relative-to="$build_dir" "$here/../..")
(cd "$build_dir" && wixl -a x64 -D Version="$version" -D BinDir=. -D SrcDir="$src_dir" -o "$work/vorl.msi" \
   "$here/vorl.wxs")

# "=-*PATH": set on install, removed on uninstall, in the system environment; "[~];" appends.
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\nPathEntry\t=-*PATH\t[~];[INSTALLDIR]\tVorlCli\n' \
  > "$work/Environment.idt"
msiinfo export "$work/vorl.msi" InstallExecuteSequence > "$work/InstallExecuteSequence.idt"
printf 'RemoveEnvironmentStrings\t\t3300\nWriteEnvironmentStrings\t\t5200\n' \
  >> "$work/InstallExecuteSequence.idt"
(cd "$work" && msibuild vorl.msi -i Environment.idt -i InstallExecuteSequence.idt)
mv "$work/vorl.msi" "$output"
echo "$output"
