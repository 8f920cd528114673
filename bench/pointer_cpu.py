#!/usr/bin/python3
"""CPU time a pointer move costs during a drag on the board at scale 8, against a bare window.

Runs its own virtual X server (Xvfb) and drives the pointer with xdotool, so that the programs
get real X events. Each run starts a fresh process:

  dotwright    (Release, build-bench/app/dotwright): the scale is set to 8 the way a user sets
               it (a click on the scale list, Down, Return); then the left button is pressed on
               the board, the pointer moves N times in steps of 1 to 3 pixels along a serpentine
               path over the board (at 8 pixels a cell most moves stay in their cell, about one
               in three enters the next) and the button is released;
  bare window  (build-bench/bench/minimal_window --stay: a Qt main window with a tool bar, a
               button and a status bar) gets the same press, moves and release at the same
               window positions.

The process's CPU time (every thread's run time from /proc/PID/task/*/schedstat, in
nanoseconds) is read once the program is idle with the pointer at the press position, and
again once it is idle after the release; the difference divided by N is its CPU per move. Runs
alternate between the two programs; the medians and their ratio are printed, with the target:
Dotwright at most 1.5 times the bare window; and the median of the ratios of the runs made one
after the other in each round.

That the moves arrive: each Dotwright run compares screenshots of the board before and after
the drag; the cells that changed must be the cells of the path at scale 8. A few cells may
differ where the toolkit merged moves (the program then paints a straight line of cells between
the positions it got): they are counted and printed, and more than 10 % of the path's cells is
an error. The moves are paced (--pause) so that the toolkit need not merge them; a separate,
unmeasured run of each program with the toolkit's input log on counts the motion events each
one received, which is printed against N.

Needs xvfb, xdotool, imagemagick and for --callgrind valgrind (./dev's bench packages) and a
Release build:
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDOTWRIGHT_BENCH=ON
  cmake --build build-bench --target dotwright minimal_window
  bench/pointer_cpu.py [--build build-bench] [--moves 2000] [--runs 5] [--pause 0.002]
                       [--dotwright PATH (another build of the program, to compare)]
                       [--callgrind]

CPU time varies much from run to run on a machine that other work keeps busy. --callgrind
counts instead the instructions the two programs execute in user space (the kernel's share,
the X requests and waits, is left out), one run each under valgrind's callgrind, the counts
zeroed before the drag and read after it; the moves are paced at 20 ms at least.
"""

import argparse
import glob
import os
import random
import statistics
import subprocess
import sys
import time

SCALE = 8
# The board at scale 8 with the default 84 x 48 picture, and its top-left corner in the main
# window: below the 29-pixel tool bar and the board frame's line, right of the 27-pixel tool
# strip and the frame's line.
BOARD_WIDTH = 84 * SCALE
BOARD_HEIGHT = 48 * SCALE
BOARD_LEFT = 28
BOARD_TOP = 30
# The scale list in the tool bar, in window coordinates.
SCALE_LIST = (315, 15)
TARGET = 1.5


def fail(message):
    sys.exit('pointer_cpu: ' + message)


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x1024x24', '-nolisten',
         'tcp'], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b''
    while not number.endswith(b'\n'):
        chunk = os.read(read_end, 16)
        if not chunk:
            fail('Xvfb did not start')
        number += chunk
    os.close(read_end)
    return server, ':' + number.decode().strip()


def cpu_ns(pid):
    """Run time of all the process's threads, in nanoseconds."""
    total = 0
    for path in glob.glob('/proc/%d/task/*/schedstat' % pid):
        try:
            with open(path) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return total


def wait_idle(pid, quiet_ns=300_000, step=0.1, limit=10.0):
    """Waits until the process uses less than quiet_ns of CPU in `step` seconds."""
    deadline = time.monotonic() + limit
    last = cpu_ns(pid)
    while time.monotonic() < deadline:
        time.sleep(step)
        now = cpu_ns(pid)
        if now - last < quiet_ns:
            return now
        last = now
    fail('process %d did not become idle' % pid)


def xdotool(env, *args):
    subprocess.run(['xdotool', *map(str, args)], env=env, check=True,
                   stdout=subprocess.DEVNULL, timeout=600)


def find_window(env, pid, limit=30.0, program=None):
    """The program's visible window, or None if `program` ends first. xdotool's own --sync now
    and then gives up at once, so the search is repeated until the window shows or the time is
    up."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        found = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(pid)],
                               env=env, capture_output=True, text=True, timeout=30).stdout.split()
        if found:
            return found[0]
        if program is not None and program.poll() is not None:
            return None
        time.sleep(0.2)
    fail('no window of process %d' % pid)


def make_path(moves, seed=14):
    """Board positions: a serpentine over the board in steps of 1 to 3 pixels a move."""
    rng = random.Random(seed)
    x, y = 4, 4
    direction = 1
    row_top = 0
    path = []
    while len(path) < moves:
        if (direction > 0 and x >= BOARD_WIDTH - 6) or (direction < 0 and x <= 5):
            # To the next band of rows, then back the other way.
            for _ in range(6):
                y = min(y + rng.randint(1, 3), BOARD_HEIGHT - 3)
                path.append((x, y))
            row_top = y - 4
            direction = -direction
            continue
        x += direction * rng.randint(1, 3)
        y = min(max(y + rng.randint(-1, 1), row_top + 1), row_top + 12, BOARD_HEIGHT - 3)
        path.append((x, y))
    return path[:moves]


def screenshot_cells(env, window):
    """The colour at the centre of every cell of the board, by cell."""
    data = subprocess.run(['import', '-window', window, '-depth', '8', 'ppm:-'], env=env,
                          check=True, capture_output=True, timeout=60).stdout
    magic, size, maxval, pixels = data.split(b'\n', 3)
    if magic != b'P6' or maxval != b'255':
        fail('unexpected screenshot format')
    width = int(size.split()[0])
    cells = {}
    for row in range(BOARD_HEIGHT // SCALE):
        for column in range(BOARD_WIDTH // SCALE):
            x = BOARD_LEFT + column * SCALE + SCALE // 2
            y = BOARD_TOP + row * SCALE + SCALE // 2
            i = (y * width + x) * 3
            cells[(column, row)] = pixels[i:i + 3]
    return cells


def drag_arguments(window, path, pause):
    args = ['mousedown', '1']
    for x, y in path[1:]:
        args += ['mousemove', '--window', window, BOARD_LEFT + x, BOARD_TOP + y,
                 'sleep', pause]
    return args + ['mouseup', '1']


def callgrind_total(out_path, pid):
    """Dumps the counts of the process under callgrind and returns the instructions counted."""
    subprocess.run(['callgrind_control', '-d', str(pid)], check=True, capture_output=True)
    dumps = sorted(glob.glob(out_path + '.*'), key=os.path.getmtime)
    if not dumps:
        fail('callgrind wrote no counts')
    with open(dumps[-1]) as f:
        for line in f:
            if line.startswith(('totals:', 'summary:')):
                return int(line.split()[1])
    fail('no totals in ' + dumps[-1])


def run_once(kind, args, env, path, pause, differing, mode='cpu'):
    """One run of one program, by mode: 'cpu' returns CPU nanoseconds per move; 'log' the number
    of motion events the program's toolkit logged during the drag; 'callgrind' the instructions
    per move that callgrind counted in the program's own threads. Adds the cells in which the
    board differs from the path to differing[0]."""
    run_env = dict(env)
    idle = {}
    out_path = '/tmp/pointer_cpu_%d.callgrind' % os.getpid()
    if mode == 'log':
        run_env['QT_LOGGING_RULES'] = 'qt.qpa.input.events=true'
    if mode == 'callgrind':
        args = ['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out_path] + args
        # Some 50 times slower: quiet means under 5 ms of CPU in half a second.
        idle = dict(quiet_ns=5_000_000, step=0.5, limit=120.0)
    log_path = '/tmp/pointer_cpu_%d.log' % os.getpid()
    # A program that ends before its window shows (now and then either program, its toolkit
    # unable to connect to the server) is started again after a pause, at most four times, and
    # said so.
    for attempt in range(5):
        if attempt:
            time.sleep(1.0)
        with open(log_path, 'w') as log:
            program = subprocess.Popen(args, env=run_env, stdout=subprocess.DEVNULL, stderr=log)
        window = find_window(env, program.pid, program=program)
        if window is not None:
            break
        with open(log_path) as log:
            print('%s ended before its window showed (status %s): %s' %
                  (kind, program.returncode, ' / '.join(log.read().split('\n')[-6:]).strip()),
                  file=sys.stderr)
    else:
        fail('%s did not start' % kind)
    try:
        wait_idle(program.pid, **idle)
        if kind == 'dotwright':
            # The scale list: open it, one down from 4, take it.
            xdotool(env, 'mousemove', '--window', window, *SCALE_LIST, 'click', '1')
            time.sleep(0.3)
            xdotool(env, 'key', 'Down', 'Return')
        xdotool(env, 'mousemove', '--window', window, BOARD_LEFT + path[0][0],
                BOARD_TOP + path[0][1])
        wait_idle(program.pid, **idle)
        before_cells = screenshot_cells(env, window) if kind == 'dotwright' else None
        with open(log_path, 'rb') as f:
            logged_before = f.read().count(b'XI2 mouse motion')
        if mode == 'callgrind':
            subprocess.run(['callgrind_control', '-z', str(program.pid)], check=True,
                           capture_output=True)
        before = wait_idle(program.pid, **idle)
        xdotool(env, *drag_arguments(window, path, pause))
        after = wait_idle(program.pid, **idle)
        if kind == 'dotwright':
            after_cells = screenshot_cells(env, window)
            changed = {cell for cell in before_cells if before_cells[cell] != after_cells[cell]}
            expected = {(x // SCALE, y // SCALE) for x, y in path}
            missing = len(expected - changed)
            extra = len(changed - expected)
            if missing + extra > len(expected) // 10:
                fail('the board does not show the drag: %d cells changed, %d expected, '
                     '%d missing, %d extra' % (len(changed), len(expected), missing, extra))
            differing[0] += missing + extra
        if mode == 'log':
            with open(log_path, 'rb') as f:
                return f.read().count(b'XI2 mouse motion') - logged_before
        if mode == 'callgrind':
            return callgrind_total(out_path, program.pid) / (len(path) - 1)
        return (after - before) / (len(path) - 1)
    finally:
        program.kill()
        program.wait()
        os.unlink(log_path)
        for dump in glob.glob(out_path + '*'):
            os.unlink(dump)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--build', default='build-bench', help='Release build directory')
    parser.add_argument('--moves', type=int, default=2000)
    parser.add_argument('--runs', type=int, default=5, help='runs of each program')
    parser.add_argument('--pause', default='0.002', help='seconds between moves')
    parser.add_argument('--dotwright', help='the program to measure (default: in --build)')
    parser.add_argument('--callgrind', action='store_true',
                        help='count instructions under callgrind instead, one run each')
    options = parser.parse_args()

    programs = {
        'dotwright': [options.dotwright or os.path.join(options.build, 'app', 'dotwright')],
        'bare window': [os.path.join(options.build, 'bench', 'minimal_window'), '--stay'],
    }
    for args in programs.values():
        if not os.access(args[0], os.X_OK):
            fail('%s is missing: build the dotwright and minimal_window targets' % args[0])

    server, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM='xcb')
    env.pop('WAYLAND_DISPLAY', None)
    path = make_path(options.moves + 1)
    moves = len(path) - 1
    differing = [0]
    if options.callgrind:
        try:
            # Paced for a program running some 50 times slower.
            pause = str(max(float(options.pause), 0.02))
            counts = {kind: run_once(kind, args, env, path, pause, differing, mode='callgrind')
                      for kind, args in programs.items()}
        finally:
            server.kill()
            server.wait()
        print('%d moves a drag at scale %d, %s s between moves, under callgrind'
              % (moves, SCALE, pause))
        for kind, count in counts.items():
            print('%-12s %7.0f instructions/move (user space, every thread)' % (kind, count))
        print('cells differing from the path (moves merged): %d' % differing[0])
        print('ratio        %7.2f' % (counts['dotwright'] / counts['bare window']))
        return
    try:
        # Moves received, counted from the toolkit's input log in a run not measured.
        received = {kind: run_once(kind, args, env, path, options.pause, differing,
                                     mode='log')
                    for kind, args in programs.items()}
        per_move = {kind: [] for kind in programs}
        for round_number in range(options.runs):
            # Alternating, and each program first in every other round.
            order = list(programs.items())
            if round_number % 2:
                order.reverse()
            for kind, args in order:
                per_move[kind].append(run_once(kind, args, env, path, options.pause, differing))
    finally:
        server.kill()
        server.wait()

    print('%d moves a drag at scale %d, %s s between moves, %d runs each'
          % (moves, SCALE, options.pause, options.runs))
    for kind in programs:
        runs = ' '.join('%.1f' % (ns / 1000) for ns in per_move[kind])
        print('%-12s %7.1f us/move (median; runs: %s); received %d of %d moves'
              % (kind, statistics.median(per_move[kind]) / 1000, runs, received[kind], moves))
    print('cells differing from the paths (moves merged), all runs together: %d' % differing[0])
    ratio = statistics.median(per_move['dotwright']) / statistics.median(per_move['bare window'])
    print('ratio        %7.2f (target: at most %.1f: %s)'
          % (ratio, TARGET, 'met' if ratio <= TARGET else 'NOT met'))
    # Runs one after the other share the machine's load of the moment.
    rounds = [a / b for a, b in zip(per_move['dotwright'], per_move['bare window'])]
    print('ratio by round %5.2f (median; rounds: %s)'
          % (statistics.median(rounds), ' '.join('%.2f' % r for r in rounds)))


if __name__ == '__main__':
    main()
