# paktool archive command tests
