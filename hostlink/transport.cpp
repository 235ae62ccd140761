// placeholder: written by the module work
