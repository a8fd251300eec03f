"""Runs the README's Python example exactly as written, as a newcomer would
right after the first command: from a folder whose build/ is the given build
tree (the module in build/python, the sample map in build/sample_map.yaml).

Usage: /usr/bin/python3 scripts/run_readme_python.py BUILD_DIR
The example is the first ```python block after the line
"<!-- the Python example: CI runs it as written -->" in README.md.
"""
import os
import pathlib
import subprocess
import sys
import tempfile

MARKER = "<!-- the Python example: CI runs it as written -->"


def example(readme: pathlib.Path) -> str:
    text = readme.read_text(encoding="utf-8")
    after = text.split(MARKER, 1)[1]
    block = after.split("```python\n", 1)[1]
    return block.split("```", 1)[0]


def main() -> int:
    root = pathlib.Path(__file__).resolve().parent.parent
    build = pathlib.Path(sys.argv[1]).resolve()
    code = example(root / "README.md")
    with tempfile.TemporaryDirectory() as work:
        os.symlink(build, os.path.join(work, "build"))
        env = dict(os.environ, PYTHONPATH=os.path.join(work, "build", "python"))
        result = subprocess.run([sys.executable, "-c", code], cwd=work, env=env)
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
