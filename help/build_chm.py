"""Compiles the help pages into HvaneHelp.chm with chmcmd.

Usage: build_chm.py CHMCMD WORK_DIR OUTPUT.chm PROJECT.hhp SOURCE...

The sources are copied into WORK_DIR, chmcmd compiles the project there and
the result is copied to OUTPUT. chmcmd may exit 0 after writing nothing
useful, or leave an empty file behind when it fails (for example when a page
is missing), so both its exit code and the file are checked.
"""
import os
import shutil
import subprocess
import sys


def compiled_name(project):
    for line in open(project, encoding="latin-1"):
        key, _, value = line.partition("=")
        if key.strip().lower() == "compiled file":
            return value.strip()
    sys.exit(f"{project}: no 'Compiled file=' line")


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    chmcmd, work, output, project, *sources = sys.argv[1:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for source in [project] + sources:
        shutil.copy(source, work)
    result = os.path.join(work, compiled_name(project))
    run = subprocess.run([chmcmd, os.path.basename(project)], cwd=work,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0:
        sys.exit(f"{run.stdout}\nchmcmd failed with exit code {run.returncode}")
    if not os.path.isfile(result) or os.path.getsize(result) == 0:
        sys.exit(f"{run.stdout}\nchmcmd did not produce {result}")
    shutil.copy(result, output + ".tmp")
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
