"""Where the installation this package came with put the token library.

Empty in the source tree (the loader's search and LD_LIBRARY_PATH find the
build's library there); an installation writes its library folder here.
"""

LIBRARY_DIRS = ()
