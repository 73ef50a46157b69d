#pragma once
// The process's open-file limit. Every connection is a descriptor, and the usual soft limit
// (1024) is far below what maxConnect allows, so the service takes all it may.

// Raises the soft limit to the hard one; logs both, and what the soft limit is afterwards, at INFO.
void raiseOpenFileLimit();
