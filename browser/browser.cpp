// The browser library.
