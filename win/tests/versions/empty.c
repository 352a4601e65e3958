/* A library that carries nothing but its version resource. */
int versionTestLibrary;
