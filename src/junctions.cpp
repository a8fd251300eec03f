// Junction detection helpers (filled in by the junction work).
