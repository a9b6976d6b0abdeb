// A shared object that stands for the plug-in module in tests that need the plug-in's folder
// somewhere of their own: they copy it there, load it and make it the instance handle.
extern "C" int installer_test_plugin_marker() { return 1; }
