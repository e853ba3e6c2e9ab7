// Placeholder translation unit for a folder that has no code yet.
