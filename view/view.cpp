// The view library.
