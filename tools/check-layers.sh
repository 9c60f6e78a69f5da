#!/usr/bin/env bash
# Checks that every include points down the layers, and that nothing below the windows uses a
# widget. Run by the test suite; prints each offending line and exits 1.
#
#   app                 start-up: picks the backends, creates the core and the windows
#   windows   cli       views of the pedal service (cli: the command-line tool)
#   pedal               the pedal's state and the one service every command goes through
#   algorithms presets  data and files (algorithm images, tunings, presets)
#   update              the version check and the updater refresh
#   device              link, exchange, messages, hex text, the D2XX-shaped transport
#   support             log, per-user files, prompts and clock seams, carried data, looks
#
# A folder may include its own files and those of lower layers. The simulated pedal stands in for
# the hardware: only the application, the command-line tool, tests and benchmarks reach for it.
# The command-line tool reaches the pedal only through the pedal service (never the D2XX unit),
# and nothing below the windows but the edit history (pedal/EditHistory, its own library) uses
# QtGui; no event loop runs inside a command below the windows (a wait is a step, see
# support/Task.h), and no co_await stands in the condition of an if, while or switch (GCC 12
# leaves such a command unfinished: write the result to a variable first). No text below the
# views names a view's click, button, menu or window, and the command-line tool takes apart no
# text of the core (both below). Given the built tool (tools/check-layers.sh build/cli/quarnelo-cli),
# it must load no QtGui.
set -u
tool=${1:-}
cd "$(dirname "$0")/.."

declare -A level=([support]=0 [device]=1 [algorithms]=2 [presets]=2 [update]=2 [simulator]=2 [pedal]=3 [windows]=4 [cli]=4 [app]=5)
status=0
while IFS= read -r hit; do
    file=${hit%%:*}
    from=${file%%/*}
    to=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")
    [ -n "${level[$from]:-}" ] && [ -n "${level[$to]:-}" ] || continue
    ok=1
    if [ "$to" = "$from" ]; then
        ok=1
    elif [ "$to" = simulator ]; then
        [[ "$from" = app || "$from" = cli ]] || ok=0
    elif [ "${level[$to]}" -ge "${level[$from]}" ]; then
        ok=0
    fi
    if [ "$ok" = 0 ]; then
        echo "include points up ($from -> $to): $hit"
        status=1
    fi
done < <(grep -rnE '^#include "[a-z]+/' --include='*.h' --include='*.cpp' support device algorithms presets update simulator pedal windows cli app)

widgets=$(grep -rnE '#include <(QtWidgets|QWidget|QDialog|QMessageBox|QApplication|QMainWindow|QAbstractButton|QLabel)' \
    --include='*.h' --include='*.cpp' support device algorithms presets update simulator pedal || true)
if [ -n "$widgets" ]; then
    echo "widgets below the windows:"
    echo "$widgets"
    status=1
fi

d2xx=$(grep -rn 'D2XXUnit\|device/D2XXUnit.h' --include='*.h' --include='*.cpp' cli || true)
if [ -n "$d2xx" ]; then
    echo "the command-line tool reaches past the pedal service:"
    echo "$d2xx"
    status=1
fi
gui=$(grep -rnE '#include <(QtGui|QUndo[A-Za-z]*|QGuiApplication|QColor|QFont|QIcon|QPixmap|QImage|QPainter)>' \
    --include='*.h' --include='*.cpp' support device algorithms presets update simulator pedal cli | grep -v '^pedal/EditHistory\.' || true)
if [ -n "$gui" ]; then
    echo "QtGui below the windows (outside the edit history):"
    echo "$gui"
    status=1
fi
loops=$(grep -rnE 'QEventLoop|processEvents' --include='*.h' --include='*.cpp' support device algorithms presets update pedal || true)
if [ -n "$loops" ]; then
    echo "an event loop inside a command (a wait must be a step of the command):"
    echo "$loops"
    status=1
fi
conditions=$( (grep -rnE '(if|while|switch) *\(.*co_await' --include='*.h' --include='*.cpp' . | grep -v '^\./build'
    # a condition that goes on over lines: an await after a line ending in && or ||
    find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print |
        xargs awk 'prev ~ /(&&|\|\||\?) *$/ && $0 ~ /^ *[!?:]? *co_await/ { print FILENAME ":" FNR ": " $0 } { prev = $0 }'
    # nor in a choice (a ? b : c), whose temporaries GCC 12 frees twice
    grep -rnE '[?:] *co_await ' --include='*.h' --include='*.cpp' . | grep -v '^\./build') || true)
if [ -n "$conditions" ]; then
    echo "co_await in a condition (GCC 12 leaves the command unfinished; await into a variable first):"
    echo "$conditions"
    status=1
fi
# The core speaks in values and the views word them: no text of the core names a click, a press,
# a button, a menu or a window of a view, or a control to choose ("choose Scan And Link"). The
# pedal's footswitch's own words stay: "short press" and "long press". The pedal's SHIFT is
# named without "button", so no button is ever named in the core.
words=$(perl -ne '
    next if m{^\s*(//|\*)};
    while (/"((?:[^"\\]|\\.)*)"/g) {
        my ($literal, $t) = ($1, $1);
        $t =~ s/\b(short|long) press\b//gi;
        print "$ARGV:$.: \"$literal\"\n" if $t =~ /\b(click|clink|press|button|menu|window)/i || $t =~ /\b[Cc]hoose [A-Z]/;
    }
    close ARGV if eof;
' $(find support device pedal -name '*.h' -o -name '*.cpp' | sort))
if [ -n "$words" ]; then
    echo "a view's words in the core (give a value, Prompts::NextStep or Prompts::Fixed, and let the view word it):"
    echo "$words"
    status=1
fi
# The command-line tool words values; it never cuts, filters or rewrites a text the core gave it.
# What it takes apart is its own input: each call below, in its file, is allowed.
allowed=(
    'cli/CliSession.cpp|!a.startsWith('                      # parse(): the tool's own arguments
    'cli/CliSession.cpp|q.replace('                          # targetWords(): its own options, quoted for a shell
    'cli/CliSession.cpp|text.replace(QStringLiteral("\r\n")' # oneLine(): a message's lines on one terminal line
    'cli/CliSafety.cpp|argument.startsWith('                 # send @FILE: the tool's own argument
    'cli/CliUpdate.cpp|line.startsWith(name'                 # /proc/self/status, not the core's
    'cli/CliCommands.cpp|usage().section('                   # the tool's own usage text
)
while IFS= read -r hit; do
    file=${hit%%:*}
    ok=0
    for entry in "${allowed[@]}"; do
        [ "$file" = "${entry%%|*}" ] && [[ "$hit" == *"${entry#*|}"* ]] && ok=1
    done
    if [ "$ok" = 0 ]; then
        echo "the command-line tool takes a text apart (word a value instead): $hit"
        status=1
    fi
done < <(grep -nE '\.(startsWith|endsWith|chop|chopped|replace|filter|section)\(' cli/*.cpp cli/*.h)
if [ -n "$tool" ]; then
    if [ ! -x "$tool" ]; then
        echo "no command-line tool at $tool"
        status=1
    elif ldd "$tool" | grep -q Qt6Gui; then
        echo "the command-line tool loads QtGui:"
        ldd "$tool" | grep Qt6Gui
        status=1
    fi
fi
[ "$status" = 0 ] && echo "layers: every include points down"
exit $status
