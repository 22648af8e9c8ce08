/* A module that only carries resources: LanguageManager reads its domain text. */
int vantelo_resource_only_module;
