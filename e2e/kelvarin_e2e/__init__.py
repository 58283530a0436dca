"""End-to-end runs of the real kelvarin.exe under Wine."""
