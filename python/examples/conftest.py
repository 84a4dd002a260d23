# The plugin gives the suite its tessel_session fixture and the --tessel-* options.
pytest_plugins = ["tessel.pytest_plugin"]
