// stub: to be replaced
