// The framework layer comes with the application shell.
