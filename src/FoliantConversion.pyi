# FoliantConversion stub
