"""The files the CLI checks run over."""
import os


def files_of(paths):
    """Each PATH's files: a file itself, a folder's files (not its subfolders)
    in name order; absent paths are passed over."""
    for path in paths:
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                full = os.path.join(path, name)
                if os.path.isfile(full):
                    yield full
        elif os.path.exists(path):
            yield path
