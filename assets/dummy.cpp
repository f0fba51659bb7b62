// Placeholder so the asset library has one source; pictures are added as resources.
