# paktool publish command tests
