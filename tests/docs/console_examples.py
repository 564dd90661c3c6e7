"""Runs the ```console blocks of the README and of docs/ with the built qtx and
compares what each command prints with what the block shows.

    console_examples.py QTX SOURCE_DIR WORK_DIR [DOC.md ...]

Each block runs in a folder of its own under WORK_DIR, in one bash, with qtx
on PATH and sample.qtx, examples/ and tests/tools/ copied in. A "$ " line is a
command; the lines up to the next one are its output, stdout and stderr
together. A command shown without output must succeed. "$ cat FILE" of a file
the folder lacks writes the lines shown into FILE first. Blocks that cannot
run here are fenced ```shell-session and are not read.
"""
import difflib
import glob
import os
import re
import shutil
import subprocess
import sys

FENCE = re.compile(r"^\s*```console\s*$")
END = re.compile(r"^\s*```\s*$")
MARK = "@@qtx-doc-example@@"
MARKED = re.compile(re.escape(MARK) + r" (\d+)\n")


def blocks(path):
    """(line of the fence, [(line, command, expected output)]) per console block."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, i = [], 0
    while i < len(lines):
        if not FENCE.match(lines[i]):
            i += 1
            continue
        start, commands = i + 1, []
        indent = len(lines[i]) - len(lines[i].lstrip())  # a block inside a list item
        i += 1
        while i < len(lines) and not END.match(lines[i]):
            text = lines[i][indent:]
            if text.startswith("$ "):
                commands.append((i + 1, text[2:], []))
            elif commands:
                commands[-1][2].append(text)
            else:
                sys.exit(f"{path}:{i + 1}: a console block must begin with a '$ ' command")
            i += 1
        found.append((start, commands))
        i += 1
    return found


def run_block(tool, source, folder, commands):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "bin"))
    os.makedirs(os.path.join(folder, "tests"))
    os.symlink(os.path.abspath(tool), os.path.join(folder, "bin", "qtx"))
    shutil.copy(os.path.join(source, "examples", "sample.qtx"), folder)
    shutil.copytree(os.path.join(source, "examples"), os.path.join(folder, "examples"))
    shutil.copytree(os.path.join(source, "tests", "tools"), os.path.join(folder, "tests", "tools"))
    script = ["exec 2>&1"]
    for _, command, expected in commands:
        shown = re.fullmatch(r"cat (\S+)", command)
        if shown and expected and not os.path.exists(os.path.join(folder, shown.group(1))):
            with open(os.path.join(folder, shown.group(1)), "w", encoding="utf-8") as out:
                out.write("\n".join(expected) + "\n")
        script += [command, f"s=$?; printf '{MARK} %d\\n' \"$s\"; (exit $s)"]
    environment = dict(os.environ, PATH=os.path.join(folder, "bin") + os.pathsep + os.environ["PATH"], LC_ALL="C")
    result = subprocess.run(["bash", "-c", "\n".join(script)], cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, timeout=120)
    pieces = MARKED.split(result.stdout.decode("utf-8", "replace"))
    # pieces: output, status, output, status, ..., the rest
    return [(pieces[2 * k], int(pieces[2 * k + 1])) for k in range(len(pieces) // 2)]


def main():
    tool, source, work = sys.argv[1:4]
    docs = sys.argv[4:] or ["README.md"] + sorted(os.path.relpath(p, source)
                                                  for p in glob.glob(os.path.join(source, "docs", "*.md")))
    failures = ran = 0
    for doc in docs:
        for start, commands in blocks(os.path.join(source, doc)):
            folder = os.path.join(work, f"{doc.replace('/', '_')}-{start}")
            results = run_block(tool, source, folder, commands)
            for k, (line, command, expected) in enumerate(commands):
                ran += 1
                if k >= len(results):
                    print(f"{doc}:{line}: $ {command}\n  did not finish (the shell stopped before it)")
                    failures += 1
                    continue
                output, status = results[k]
                want = "".join(text + "\n" for text in expected)
                if output != want:
                    diff = difflib.unified_diff(want.splitlines(True), output.splitlines(True), "shown", "printed")
                    print(f"{doc}:{line}: $ {command}\n" + "".join("  " + d for d in diff))
                    failures += 1
                elif not expected and status != 0:
                    print(f"{doc}:{line}: $ {command}\n  exit code {status} and no output shown")
                    failures += 1
    print(f"{ran} commands of console examples run, {failures} failed")
    return 1 if failures or not ran else 0


if __name__ == "__main__":
    sys.exit(main())
