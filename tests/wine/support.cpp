// Helpers shared by the tests of the Windows layer.
