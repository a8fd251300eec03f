// Inner rectangle helpers (filled in by the inner rectangle work).
