#!/bin/bash
# Fails when a layer below the page and its windows (platform, model, services)
# or the configuration manager includes or links a widget, a message box or a
# dialog: those layers return their results and log; only the page and its
# windows show them.
set -euo pipefail
source_dir=$(cd "${1:-$(dirname "$0")/..}" && pwd)
folders=("$source_dir/src/platform" "$source_dir/src/model" "$source_dir/src/services" "$source_dir/tools")
status=0
if grep -rnE '#include <(QtWidgets|Q[A-Za-z]*(Widget|Dialog|MessageBox|Box|Button|Edit|View)|QApplication|K[A-Za-z]*(Widget|Dialog|MessageBox)|KMessageWidget)(\.h)?>' \
    --include='*.h' --include='*.cpp' "${folders[@]}"; then
    echo "check-widget-free: the lines above include widgets below the page and its windows"
    status=1
fi
if grep -nE 'Qt[56]?::Widgets|KF[56]::(WidgetsAddons|ConfigWidgets|KCMUtils)' \
    "$source_dir/src/platform/sources.cmake" "$source_dir/src/model/sources.cmake" "$source_dir/src/services/sources.cmake" \
    "$source_dir/tools/velta-event-config-manager/CMakeLists.txt"; then
    echo "check-widget-free: the lines above link widgets below the page and its windows"
    status=1
fi
exit $status
