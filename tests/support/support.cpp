// placeholder so the support library is never empty
