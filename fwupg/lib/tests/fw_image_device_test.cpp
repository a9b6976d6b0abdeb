// Device checks of the image files.
